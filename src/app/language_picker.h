#pragma once

#include <QStyledItemDelegate>

class QComboBox;

// Draws a language item of the picker: the flag 1 px from the left and 2 px from the top, the name 23 px from
// the left in Tahoma, highlight colours when selected, 16 px high.
class LanguageItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kItemHeight = 16;
    static constexpr int kFlagLeft = 1;
    static constexpr int kFlagTop = 2;
    static constexpr int kTextLeft = 23;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Gives the picker's items (index 0 Polish, 1 English) their flags and the delegate above. Item texts stay
// as designed; they are the same in every language.
void setUpLanguagePicker(QComboBox *picker);
