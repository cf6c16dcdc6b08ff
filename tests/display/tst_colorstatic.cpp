// The colour label: one-time creation, scaled placement, colour and text changes, and what it paints.
#include "display/ui/ccolorstatic.h"
#include "platform/ui/uifonts.h"

#include <QImage>
#include <QTest>

Q_DECLARE_METATYPE(QnRect)

namespace {

bool IsDark(QRgb pixel)
{
    return qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel))) < 90;  // near black, unlike any background
}

// Dark pixels in column x between the top and bottom edges.
int DarkPixelsInColumn(const QImage &image, int x)
{
    int dark = 0;
    for (int y = 1; y < image.height() - 1; ++y)
        dark += IsDark(image.pixel(x, y)) ? 1 : 0;
    return dark;
}

}  // namespace

class TestColorStatic : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void createPlacesLabelScaledByFont_data()
    {
        QTest::addColumn<int>("fontHeight");  // 0: no font given
        QTest::addColumn<QnRect>("rect");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("no font: as given") << 0 << QnRect{240, 2, 248, 20} << QRect(240, 2, 8, 18);
        QTest::newRow("-12: as given") << -12 << QnRect{2, 2, 110, 20} << QRect(2, 2, 108, 18);
        QTest::newRow("-15 (120 dpi view font)") << -15 << QnRect{2, 2, 110, 20} << QRect(2, 2, 144, 23);
        QTest::newRow("-24 doubles, 2.13 across") << -24 << QnRect{120, 2, 230, 20} << QRect(255, 4, 234, 36);
    }
    void createPlacesLabelScaledByFont()
    {
        QFETCH(int, fontHeight);
        QFETCH(QnRect, rect);
        QFETCH(QRect, geometry);
        QWidget view;
        CColorStatic label;
        const QFont font = LogFont(QString::fromUtf8(kFaceMsPGothic), fontHeight);
        label.Create(fontHeight ? &font : nullptr, QStringLiteral("R"), rect, 0x808080, &view);
        QVERIFY(label.IsCreated());
        QCOMPARE(label.parentWidget(), &view);
        QCOMPARE(label.geometry(), geometry);
        QCOMPARE(label.Text(), QStringLiteral("R"));
        QCOMPARE(label.Color(), COLORREF(0x808080));
        // The label's own font does not follow the given one.
        QCOMPARE(label.TextFont().family(), QString::fromUtf8(kFaceMsGothic));
        QCOMPARE(label.TextFont().pixelSize(), 9);
    }

    void secondCreateChangesNothing()
    {
        QWidget view, other;
        CColorStatic label;
        label.Create(nullptr, QStringLiteral("S"), QnRect{250, 2, 258, 20}, 0x808080, &view);
        const QFont big = LogFont(QString::fromUtf8(kFaceMsPGothic), -24);
        label.Create(&big, QStringLiteral("X"), QnRect{0, 0, 50, 50}, 0x00FF00, &other);
        QCOMPARE(label.Text(), QStringLiteral("S"));
        QCOMPARE(label.Color(), COLORREF(0x808080));
        QCOMPARE(label.geometry(), QRect(250, 2, 8, 18));
        QCOMPARE(label.parentWidget(), &view);
    }

    void changesBeforeCreateAreNotRemembered()
    {
        QWidget view;
        CColorStatic label;
        label.SetText(QStringLiteral("early"));
        label.SetColor(0x00FF00);
        QCOMPARE(label.Text(), QString());
        QCOMPARE(label.Color(), COLORREF(0));
        label.Create(nullptr, QString(), QnRect{2, 2, 110, 20}, 0x808080, &view);
        QCOMPARE(label.Text(), QString());
        QCOMPARE(label.Color(), COLORREF(0x808080));
        label.SetText(QStringLiteral("接続中"));
        label.SetColor(0x0000FF);
        QCOMPARE(label.Text(), QStringLiteral("接続中"));
        QCOMPARE(label.Color(), COLORREF(0x0000FF));
    }

    void paintsBackgroundAndCutsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("colour");
        QTest::addColumn<bool>("textAtRightEdge");
        QTest::newRow("empty: only the field") << QString() << 0x808080u << false;
        QTest::newRow("lamp lit green") << QStringLiteral("S") << 0x00FF00u << false;
        QTest::newRow("0x00BBGGRR order") << QStringLiteral("R") << 0x0000FFu << false;
        QTest::newRow("long text cut at the edge") << QStringLiteral("MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM") << 0xFFFFFFu << true;
    }
    void paintsBackgroundAndCutsText()
    {
        QFETCH(QString, text);
        QFETCH(uint, colour);
        QFETCH(bool, textAtRightEdge);
        QWidget view;
        view.resize(200, 40);
        CColorStatic label;
        label.Create(nullptr, QStringLiteral("old"), QnRect{2, 2, 110, 20}, 0x808080, &view);
        label.SetText(text);
        label.SetColor(colour);
        const QImage image = label.grab().toImage();
        QCOMPARE(image.size(), QSize(108, 18));
        const QColor background = ColorFromRef(colour);
        // The lower right of the field is never reached by the text.
        QCOMPARE(QColor(image.pixel(image.width() - 3, image.height() - 3)), background);
        // A sunken edge surrounds the field.
        QVERIFY(QColor(image.pixel(0, image.height() / 2)) != background || QColor(image.pixel(image.width() - 1, image.height() / 2)) != background);
        const int inside = label.contentsRect().right();
        const bool textInLastColumn = DarkPixelsInColumn(image, inside) > 0;
        QCOMPARE(textInLastColumn, textAtRightEdge);
        // Text is black, starting at the field's left, 2 pixels below its top.
        if (!text.isEmpty()) {
            int darkRows = 0;
            for (int y = 0; y < label.contentsRect().top() + 2; ++y)
                darkRows += IsDark(image.pixel(label.contentsRect().left() + 1, y)) ? 1 : 0;
            QCOMPARE(darkRows, 0);
            QVERIFY(DarkPixelsInColumn(image, label.contentsRect().left() + 1) + DarkPixelsInColumn(image, label.contentsRect().left() + 2) > 0);
        }
    }
};

QTEST_MAIN(TestColorStatic)
#include "tst_colorstatic.moc"
