// The Qt front end's pure rules: dialog units to pixels, texts for display, how a message box
// looks and what its answer is, what a progress bar draws, where the minimised icon goes.
#include <QtTest>

#include "fw/types.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/box_style.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/display_text.h"
#include "ui/qt/progress_view.h"

using velda::qt::CBaseUnits;
using velda::qt::CPixelRect;

class CDisplayRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void MulDivRoundsToNearest() {
    QCOMPARE(velda::qt::MulDivRound(5, 7, 4), 9);    // 8.75
    QCOMPARE(velda::qt::MulDivRound(3, 2, 4), 2);    // 1.5 rounds away from zero
    QCOMPARE(velda::qt::MulDivRound(-3, 1, 2), -2);  // -1.5 likewise
    QCOMPARE(velda::qt::MulDivRound(9, 7, 8), 8);    // 7.875
    QCOMPARE(velda::qt::MulDivRound(1, 1, 0), 0);
    QCOMPARE(velda::qt::MulDivRound(2'000'000'000, 3, 4), 1'500'000'000);  // no overflow inside
  }

  void BaseUnitsComeFromTheAverageLetterWidth() {
    // The 8 x 16 base units of the classic system font: 52 letters 416 pixels wide.
    QCOMPARE(velda::qt::BaseUnitsFromLetters(416, 16).cx, 8);
    QCOMPARE(velda::qt::BaseUnitsFromLetters(416, 16).cy, 16);
    // 364 / 26 = 14, halved: 7. 377 / 26 = 14 (integer), halved and rounded: 7. 390 / 26 = 15: 8.
    QCOMPARE(velda::qt::BaseUnitsFromLetters(364, 14).cx, 7);
    QCOMPARE(velda::qt::BaseUnitsFromLetters(377, 14).cx, 7);
    QCOMPARE(velda::qt::BaseUnitsFromLetters(390, 14).cx, 8);
    QCOMPARE(velda::qt::kBaseUnitLetters.size(), std::size_t{52});
  }

  void Template102InSystemFontPixels() {
    const CBaseUnits sys{8, 16};  // a unit is 2 x 2 pixels
    QCOMPARE(velda::qt::DialogToPixels(0, 0, 230, 69, sys), (CPixelRect{0, 0, 460, 138}));
    QCOMPARE(velda::qt::DialogToPixels(52, 8, 158, 14, sys), (CPixelRect{104, 16, 316, 28}));   // All
    QCOMPARE(velda::qt::DialogToPixels(52, 24, 158, 14, sys), (CPixelRect{104, 48, 316, 28}));  // Data
    QCOMPARE(velda::qt::DialogToPixels(105, 49, 59, 14, sys), (CPixelRect{210, 98, 118, 28}));  // MIDI Port
    QCOMPARE(velda::qt::DialogToPixels(13, 50, 90, 12, sys), (CPixelRect{26, 100, 180, 24}));   // status
  }

  void FarEdgesAreConvertedSoNeighboursStayFlush() {
    const CBaseUnits base{7, 14};
    // Status box 13,50 90x12: left 22.75 -> 23, right 103 * 7 / 4 = 180.25 -> 180: 157 wide
    // (the size alone would give 157.5 -> 158 and overlap the next pixel).
    QCOMPARE(velda::qt::DialogToPixels(13, 50, 90, 12, base), (CPixelRect{23, 88, 157, 21}));
    // Two controls that touch in dialog units touch in pixels.
    const CPixelRect a = velda::qt::DialogToPixels(13, 8, 39, 8, base);
    const CPixelRect b = velda::qt::DialogToPixels(52, 8, 158, 14, base);
    QCOMPARE(a.x + a.cx, b.x);
    QCOMPARE(velda::qt::DialogXToPixels(230, base), 403);  // 402.5 rounds up
    QCOMPARE(velda::qt::DialogYToPixels(69, base), 121);   // 120.75
  }

  void AsciiAndUtf8StayAsTheyAre() {
    QCOMPARE(velda::qt::AnsiToQString("Data UpLoad."), QStringLiteral("Data UpLoad."));
    QCOMPARE(velda::qt::AnsiToQString("caf\xC3\xA9"), QString::fromUtf8("caf\xC3\xA9"));
    QCOMPARE(velda::qt::AnsiToQString(""), QString());
  }

  void OtherBytesAreCodePage1252() {
    // 0xE9 alone is no UTF-8: it is e acute; 0x80 is the euro sign; 0x81 has no character.
    const QString str = velda::qt::AnsiToQString("caf\xE9 \x80 \x81");
    QCOMPARE(str.size(), 8);
    QCOMPARE(str[3], QChar(0x00E9));
    QCOMPARE(str[5], QChar(0x20AC));
    QCOMPARE(str[7], QChar(0x0081));
    // A name cut inside a UTF-8 sequence (31 bytes of a longer name) is not valid UTF-8 either.
    QCOMPARE(velda::qt::AnsiToQString("ab\xC3"), QString::fromUtf16(u"ab\u00C3"));
  }

  void BoxTextBreaksLinesOnce() {
    QCOMPARE(velda::qt::BoxText(" \r\n Time Out   \r\n"), QStringLiteral(" \n Time Out   \n"));
    QCOMPARE(velda::qt::BoxText("I have a Error. \r\n Close Install Jub."),
             QStringLiteral("I have a Error. \n Close Install Jub."));
    // LF CR is one break too; two breaks in a row stay two.
    QCOMPARE(velda::qt::BoxText("Error!!\n\r Please Close This Application."),
             QStringLiteral("Error!!\n Please Close This Application."));
    QCOMPARE(velda::qt::BoxText("a\r\n\r\nb"), QStringLiteral("a\n\nb"));
    QCOMPARE(velda::qt::BoxText("a\rb\nc"), QStringLiteral("a\nb\nc"));
    QCOMPARE(velda::qt::BoxText("a\n\nb"), QStringLiteral("a\n\nb"));
    QCOMPARE(velda::qt::BoxText(" Script Error "), QStringLiteral(" Script Error "));
  }

  void BoxIconsFollowTheIconBits() {
    QCOMPARE(velda::qt::BoxIconOf(fw::MB_OK | fw::MB_ICONSTOP), QMessageBox::Critical);
    QCOMPARE(velda::qt::BoxIconOf(fw::MB_OK | fw::MB_ICONEXCLAMATION), QMessageBox::Warning);
    QCOMPARE(velda::qt::BoxIconOf(fw::MB_OKCANCEL | fw::MB_ICONINFORMATION), QMessageBox::Information);
    QCOMPARE(velda::qt::BoxIconOf(fw::MB_ICONQUESTION), QMessageBox::Question);
    QCOMPARE(velda::qt::BoxIconOf(fw::MB_OK), QMessageBox::NoIcon);
    QCOMPARE(velda::qt::BoxIconOf(fw::MB_OKCANCEL), QMessageBox::NoIcon);
  }

  void BoxButtonsFollowTheTypeBits() {
    QCOMPARE(velda::qt::BoxButtonsOf(fw::MB_OK | fw::MB_ICONINFORMATION),
             QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(velda::qt::BoxButtonsOf(fw::MB_OKCANCEL | fw::MB_ICONINFORMATION),
             QMessageBox::StandardButtons(QMessageBox::Ok | QMessageBox::Cancel));
  }

  void BoxAnswers() {
    QCOMPARE(velda::qt::BoxAnswerOf(fw::MB_OKCANCEL, QMessageBox::Ok), fw::IDOK);
    QCOMPARE(velda::qt::BoxAnswerOf(fw::MB_OKCANCEL, QMessageBox::Cancel), fw::IDCANCEL);
    QCOMPARE(velda::qt::BoxAnswerOf(fw::MB_OK, QMessageBox::Ok), fw::IDOK);
    // Dismissed without a button: Cancel where there is one, else OK.
    QCOMPARE(velda::qt::BoxAnswerOf(fw::MB_OKCANCEL | fw::MB_ICONINFORMATION, QMessageBox::NoButton), fw::IDCANCEL);
    QCOMPARE(velda::qt::BoxAnswerOf(fw::MB_OK | fw::MB_ICONEXCLAMATION, QMessageBox::NoButton), fw::IDOK);
  }

  void ProgressBarsDrawTheClampedPosition() {
    using velda::qt::CBarRange;
    // The All bar: range 1 .. script length, position the cursor.
    QCOMPARE(velda::qt::BarRangeOf({1, 300, 150, 1}), (CBarRange{1, 300, 150}));
    // The Data bar: 0 .. bytes + 1.
    QCOMPARE(velda::qt::BarRangeOf({0, 6001, 4900, 1}), (CBarRange{0, 6001, 4900}));
    // Positions outside the range are drawn at its ends.
    QCOMPARE(velda::qt::BarRangeOf({0, 6001, 7350, 1}), (CBarRange{0, 6001, 6001}));
    QCOMPARE(velda::qt::BarRangeOf({1, 300, 0, 1}), (CBarRange{1, 300, 1}));
    // An empty range (an empty script gives 1 .. 0) draws an empty bar, not a busy one.
    QCOMPARE(velda::qt::BarRangeOf({1, 0, 1, 1}), (CBarRange{0, 1, 0}));
    QCOMPARE(velda::qt::BarRangeOf({5, 5, 5, 1}), (CBarRange{0, 1, 0}));
  }

  void MinimisedIconIsCentredWithPlatformRounding() {
    QCOMPARE(velda::qt::CentredIconOrigin(QSize(460, 138), QSize(32, 32)), QPoint(214, 53));  // (429/2, 107/2)
    QCOMPARE(velda::qt::CentredIconOrigin(QSize(161, 40), QSize(32, 32)), QPoint(65, 4));     // (130/2, 9/2)
    QCOMPARE(velda::qt::CentredIconOrigin(QSize(32, 32), QSize(32, 32)), QPoint(0, 0));
  }

  void IconResource128IsTheApplicationIcon() {
    const QIcon icon = velda::qt::IconOfResource(128);
    QVERIFY(!icon.isNull());
    // Both images of the icon resource: 32 x 32 and 16 x 16.
    QCOMPARE(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32));
    QCOMPARE(icon.pixmap(QSize(16, 16)).size(), QSize(16, 16));
    QVERIFY(velda::qt::IconOfResource(129).isNull());
  }
};

QTEST_MAIN(CDisplayRulesTest)
#include "qt_display_rules_test.moc"
