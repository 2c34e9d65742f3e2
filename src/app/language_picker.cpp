#include "language_picker.h"

#include "design_font.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QPixmap>

// The pictures live in the app library's resources; a static library drops them unless they are referenced.
static void initAppResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)done;
}

namespace {

constexpr const char *kFlags[] = {":/flag_pl.xpm", ":/flag_en.xpm"};

QFont itemFont(const QStyleOptionViewItem &option)
{
    QFont font = option.font;
    font.setFamilies(designFontFamilies());
    return font;
}

} // namespace

void LanguageItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    painter->save();
    painter->fillRect(option.rect, option.palette.brush(group, selected ? QPalette::Highlight : QPalette::Base));

    const QPixmap flag = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!flag.isNull())
        painter->drawPixmap(option.rect.left() + kFlagLeft, option.rect.top() + kFlagTop, flag);

    painter->setFont(itemFont(option));
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect textRect = option.rect.adjusted(kTextLeft, 0, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize LanguageItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QFontMetrics metrics(itemFont(option));
    return {kTextLeft + metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 4, kItemHeight};
}

void setUpLanguagePicker(QComboBox *picker)
{
    initAppResources();
    for (int i = 0; i < picker->count() && i < int(std::size(kFlags)); ++i)
        picker->setItemData(i, QPixmap(QString::fromLatin1(kFlags[i])), Qt::DecorationRole);
    // The closed box shows the same flag through the item's decoration.
    picker->setIconSize(QSize(19, 12));
    picker->setItemDelegate(new LanguageItemDelegate(picker));
}
