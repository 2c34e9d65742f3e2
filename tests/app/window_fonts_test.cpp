// The window's face and whether every caption fits, in both languages. ctest runs this file three times: in the
// machine's own font set-up, with no narrow face installed at all ("bare") and with every narrow competitor
// installed ("crowded"); TORVEX_TEST_FONTS names the set-up and the first test checks it is what it claims.
#include "design_font.h"
#include "window_fixture.h"

#include "language.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

const QString kCarriedFamily = QStringLiteral("DejaVu Sans Condensed");

// The design face wins where a machine has it; everywhere else the carried one must.
#ifndef _WIN32
std::string expectedFamily()
{
    return QFontDatabase::hasFamily(QStringLiteral("Tahoma")) ? "Tahoma" : kCarriedFamily.toStdString();
}
#endif

std::string fontSetUp()
{
    const char *value = std::getenv("TORVEX_TEST_FONTS");
    return value ? value : "";
}

class WindowFonts : public WindowFixture {
protected:
    void pickLanguage(int language)
    {
        auto *picker = control<QComboBox>("LangCombo1");
        picker->setCurrentIndex(language - 1);
        Q_EMIT picker->activated(language - 1);
        ASSERT_EQ(window().activeLanguage(), language);
    }

    // The window as the user sees it: shown, so that the tab bar lays out its tabs.
    TFMain &shownWindow()
    {
        TFMain &w = window();
        w.show();
        processEvents();
        return w;
    }
};

TEST_F(WindowFonts, TheFontSetUpIsTheOneNamed)
{
    const std::string setUp = fontSetUp();
    // The machine's copy of the carried face brings its oblique styles; the carried one has none.
    const bool systemCondensed = QFontDatabase::styles(kCarriedFamily).contains(QStringLiteral("Oblique"));
    if (setUp == "bare") {
        EXPECT_FALSE(QFontDatabase::hasFamily(QStringLiteral("Liberation Sans Narrow")));
        EXPECT_FALSE(systemCondensed);
    } else if (setUp == "crowded") {
        EXPECT_TRUE(QFontDatabase::hasFamily(QStringLiteral("Liberation Sans Narrow")))
            << "fonts-liberation is not installed (scripts/setup installs it)";
        EXPECT_TRUE(systemCondensed) << "fonts-dejavu-extra is not installed (scripts/setup installs it)";
    }
}

// The carried face and the captions' fit with it: Windows has the design's own Tahoma instead, which Wine only
// imitates (its widths differ from Tahoma's by a few pixels per caption).
#ifndef _WIN32
TEST_F(WindowFonts, TheCarriedFacesAreRegistered)
{
    EXPECT_TRUE(registerEmbeddedFonts().contains(kCarriedFamily)) << registerEmbeddedFonts().join(u',').toStdString();
    const QStringList styles = QFontDatabase::styles(kCarriedFamily);
    EXPECT_TRUE(styles.contains(QStringLiteral("Book")) && styles.contains(QStringLiteral("Bold")))
        << styles.join(u',').toStdString();
    EXPECT_EQ(window().font().families().join(u',').toStdString(), "Tahoma,DejaVu Sans Condensed");
}

// Every control shows its text in the carried face, in the weight it asks for: the 8-point captions, the
// 10-point heads, the 20-point bold value fields and the bold logging label.
TEST_F(WindowFonts, EveryControlResolvesToTheCarriedFace)
{
    TFMain &w = shownWindow();
    std::map<bool, int> faces; // bold or not -> controls
    for (QWidget *widget : w.findChildren<QWidget *>()) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith(u"qt_"))
            continue;
        const QFontInfo info(widget->font());
        SCOPED_TRACE(widget->objectName().toStdString());
        EXPECT_EQ(info.family().toStdString(), expectedFamily());
        EXPECT_EQ(info.bold(), widget->font().bold());
        ++faces[widget->font().bold()];
    }
    EXPECT_GT(faces[true], 6);
    EXPECT_GT(faces[false], 100);
    if (expectedFamily() == kCarriedFamily.toStdString()) {
        QFont bold = w.font();
        bold.setBold(true);
        EXPECT_EQ(QFontInfo(bold).styleName().toStdString(), "Condensed Bold");
        EXPECT_EQ(QFontInfo(w.font()).styleName().toStdString(), "Condensed");
    }
}

// ---------------------------------------------------------------------------------------------------- fit

// Where a caption's text ends and where its control stops showing it, in the coordinates of its parent.
struct Fit {
    int needed = 0;
    int available = 0;
    int linesNeeded = 1; // word-wrapped labels
    int linesAvailable = 1;
};

// The right edge up to which a control is seen: its own, its parent's inner edge, or the left edge of a
// sibling drawn over it (a check box line that holds an edit, as the modulo line does).
int visibleRight(const QWidget *control)
{
    const QWidget *parent = control->parentWidget();
    int right = std::min(control->geometry().right() + 1, parent->contentsRect().right() + 1);
    if (qobject_cast<const QGroupBox *>(parent))
        right = std::min(right, parent->width() - 2);
    for (const QObject *object : parent->children()) {
        const auto *sibling = qobject_cast<const QWidget *>(object);
        if (!sibling || sibling == control || sibling->isHidden())
            continue;
        const QRect s = sibling->geometry();
        const QRect c = control->geometry();
        if (s.top() < c.bottom() && s.bottom() > c.top() && s.left() > c.left() && s.left() < right)
            right = s.left();
    }
    return right;
}

// A trailing space takes room but shows nothing: it may run under a neighbour.
QString shownText(const QWidget *control)
{
    QString text = control->property("text").toString();
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

// How far from its left edge a control paints, found by drawing a twin (same kind, shown text, face and style)
// with room to spare: what reaches the screen, whatever the style adds or the face's bearings take away.
int inkWidth(QWidget &twin, const QWidget &original)
{
    twin.setFont(original.font());
    twin.setStyle(original.style());
    twin.resize(twin.sizeHint() + QSize(40, 0));
    QImage image(twin.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    twin.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    for (int x = image.width() - 1; x >= 0; --x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return x + 1;
        }
    }
    return 0;
}

Fit fitOf(const QWidget *control)
{
    Fit fit;
    fit.available = visibleRight(control);
    const int left = control->x();
    const QFontMetrics metrics(control->font());
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        const QRect inner = label->contentsRect();
        if (label->wordWrap()) {
            const QRect wrapped = metrics.boundingRect(QRect(0, 0, inner.width(), 10000),
                                                       Qt::TextWordWrap | Qt::AlignLeft, label->text());
            fit.needed = left + inner.left() + wrapped.width();
            fit.available = std::min(fit.available, left + inner.right() + 1);
            fit.linesNeeded = wrapped.height() / metrics.lineSpacing();
            fit.linesAvailable = std::max(1, inner.height() / metrics.lineSpacing());
        } else {
            QLabel twin(shownText(label));
            fit.needed = left + inner.left() + inkWidth(twin, *label);
        }
    } else if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const int iconWidth = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        const int labelWidth = iconWidth + metrics.size(Qt::TextShowMnemonic, button->text()).width();
        // The picture and text are centred together in the contents.
        fit.needed = left + contents.left() + labelWidth;
        fit.available = std::min(fit.available, left + contents.right() + 1);
    } else if (const auto *box = qobject_cast<const QAbstractButton *>(control)) { // check box, radio button
        std::unique_ptr<QAbstractButton> twin;
        if (qobject_cast<const QRadioButton *>(box))
            twin = std::make_unique<QRadioButton>(shownText(box));
        else
            twin = std::make_unique<QCheckBox>(shownText(box));
        fit.needed = left + inkWidth(*twin, *box);
    }
    return fit;
}

// Captions the design itself makes tight, with the width from the control's left edge that their text needs in
// the window's face (either language). The window makes room for them; holding them to this width shows a wider
// face here first.
const std::map<std::string, int> kTightByDesign = {
    // The modulo field follows on the caption's line at 288, which leaves the text 272 px: the field moves.
    {"save_cntmod", 278},
    // Designed 233 px wide; it grows to its group's inner edge, 238 px.
    {"CheckBox1", 237},
};

#endif

struct FitCase {
    const char *name;
    int language;
};

class CaptionsFit : public WindowFonts, public testing::WithParamInterface<FitCase> {};

#ifndef _WIN32
TEST_P(CaptionsFit, EveryCaptionFitsItsControl)
{
    TFMain &w = shownWindow();
    pickLanguage(GetParam().language);
    int checked = 0;
    for (QWidget *control : w.findChildren<QWidget *>()) {
        const bool caption = qobject_cast<QLabel *>(control) || qobject_cast<QPushButton *>(control)
            || qobject_cast<QCheckBox *>(control) || qobject_cast<QRadioButton *>(control);
        const QString text = control->property("text").toString();
        if (!caption || text.isEmpty() || control->objectName().isEmpty()
            || control->parentWidget() == static_cast<QWidget *>(w.statusBar()))
            continue;
        const std::string name = control->objectName().toStdString();
        const Fit fit = fitOf(control);
        if (const auto tight = kTightByDesign.find(name); tight != kTightByDesign.end()) {
            EXPECT_LE(fit.needed - control->x(), tight->second) << name;
        }
        EXPECT_LE(fit.needed, fit.available)
            << name << " \"" << text.toStdString() << "\" needs " << fit.needed - control->x() << " px, shows "
            << fit.available - control->x();
        EXPECT_LE(fit.linesNeeded, fit.linesAvailable) << name << " \"" << text.toStdString() << "\"";
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

#endif

TEST_P(CaptionsFit, TheTabRowShowsEveryVisibleTabWithoutScrollButtons)
{
    shownWindow();
    pickLanguage(GetParam().language);
    processEvents();
    auto *pages = control<QTabWidget>("PageControl1");
    QTabBar *bar = pages->tabBar();
    int visible = 0;
    for (int i = 0; i < bar->count(); ++i) {
        if (!bar->isTabVisible(i))
            continue;
        ++visible;
        const QRect tab = bar->tabRect(i);
        EXPECT_TRUE(bar->rect().contains(tab)) << bar->tabText(i).toStdString() << " lies outside the tab row";
        EXPECT_GE(tab.width(), bar->fontMetrics().size(Qt::TextShowMnemonic, bar->tabText(i)).width())
            << bar->tabText(i).toStdString();
    }
    EXPECT_EQ(visible, 5);
    for (const QToolButton *scroll : bar->findChildren<QToolButton *>())
        EXPECT_FALSE(scroll->isVisible()) << "tab row scroll button " << scroll->objectName().toStdString();
}

// The modulo field and its button keep their line, their sizes and their distance, and stay in the left column.
#ifndef _WIN32
TEST_P(CaptionsFit, TheModuloFieldMakesRoomForItsCaptionOnly)
{
    shownWindow();
    pickLanguage(GetParam().language);
    const QRect field = control<QLineEdit>("edit_mod")->geometry();
    const QRect button = control<QPushButton>("BitBtn5")->geometry();
    const QRect caption = control<QCheckBox>("save_cntmod")->geometry();
    EXPECT_EQ(field.topLeft().y(), 116);
    EXPECT_EQ(field.size(), QSize(65, 21));
    EXPECT_GE(field.left(), 288);
    EXPECT_LE(field.left(), caption.left() + kTightByDesign.at("save_cntmod") + 6);
    EXPECT_EQ(button.topLeft(), field.topLeft() + QPoint(359 - 288, 0));
    EXPECT_EQ(button.size(), QSize(25, 25));
    EXPECT_LT(button.right(), control<QGroupBox>("GroupBox15")->x());
}
#endif

// Each indicator caption is followed on its line by the encoder's name label: a visible gap between them, and the
// label moved from its design place no further than the caption's text needs.
#ifndef _WIN32
TEST_P(CaptionsFit, IndicatorCaptionsLeaveAGapBeforeTheirNames)
{
    shownWindow();
    pickLanguage(GetParam().language);
    const struct {
        const char *caption;
        const char *name;
        int designLeft;
    } rows[] = {{"Label9", "n1", 140}, {"Label10", "n2", 140}, {"Label1", "n3", 140},
                {"Label", "n4", 475},  {"Label12", "n5", 475}, {"Label2", "n6", 475}};
    for (const auto &row : rows) {
        const int textEnd = fitOf(control<QLabel>(row.caption)).needed;
        const QLabel *name = control<QLabel>(row.name);
        const int nameStart = name->x() + name->contentsRect().left();
        EXPECT_GE(nameStart - textEnd, 3)
            << row.caption << " ends at " << textEnd << ", " << row.name << " starts at " << nameStart;
        EXPECT_LE(name->x(), std::max(row.designLeft, textEnd + 6)) << row.name;
        EXPECT_LT(name->geometry().right(), name->parentWidget()->width() - 2) << row.name;
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(Languages, CaptionsFit,
                         testing::Values(FitCase{"Polish", kPolish}, FitCase{"English", kEnglish}),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace
