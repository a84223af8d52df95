// PLACEHOLDER until the driver lands.
namespace velda { int g_nDriverPlaceholder = 0; }
