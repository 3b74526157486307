#pragma once
// Draws a percent cell ("37%") as a progress bar with its text; any other
// text (a result such as "大文件，跳过") is drawn as text. The model's text
// stays what it is, so exports and tests read the same.
#include <QStyledItemDelegate>

namespace dh {

class PercentBarDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

// The percent a cell's text names, or -1 for any other text.
int PercentOf(const QString &text);

} // namespace dh
