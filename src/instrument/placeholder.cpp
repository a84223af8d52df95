// PLACEHOLDER until the instrument lands.
namespace velda { int g_nInstrumentPlaceholder = 0; }
