#include "ui/qt/display_text.h"

#include <QStringDecoder>

#include <array>
#include <cstdint>

namespace velda::qt {

namespace {

// Code page 1252 at 0x80-0x9F; unassigned positions keep their C1 code point.
constexpr std::array<char16_t, 32> kCp1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString FromCp1252(std::string_view sv) {
  QString str;
  str.reserve(static_cast<qsizetype>(sv.size()));
  for (char c : sv) {
    const auto b = static_cast<std::uint8_t>(c);
    str.append(QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b)));
  }
  return str;
}

}  // namespace

QString AnsiToQString(std::string_view sv) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString str = decoder.decode(QByteArrayView(sv.data(), static_cast<qsizetype>(sv.size())));
  if (!decoder.hasError()) {
    return str;
  }
  return FromCp1252(sv);
}

QString BoxText(std::string_view sv) {
  const QString strIn = AnsiToQString(sv);
  QString str;
  str.reserve(strIn.size());
  for (qsizetype i = 0; i < strIn.size(); ++i) {
    const QChar c = strIn[i];
    if (c == u'\r' || c == u'\n') {
      str.append(u'\n');
      // The other half of a CR LF or LF CR pair belongs to the same break.
      if (i + 1 < strIn.size()) {
        const QChar d = strIn[i + 1];
        if ((d == u'\r' || d == u'\n') && d != c) {
          ++i;
        }
      }
      continue;
    }
    str.append(c);
  }
  return str;
}

}  // namespace velda::qt
