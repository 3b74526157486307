#include "download/PercentBarDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

namespace dh {

int PercentOf(const QString &text) {
    if (!text.endsWith(QLatin1Char('%')))
        return -1;
    bool ok = false;
    const int value = text.chopped(1).toInt(&ok);
    return ok && value >= 0 && value <= 100 ? value : -1;
}

void PercentBarDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    const int percent = PercentOf(text);
    if (percent < 0)
        return QStyledItemDelegate::paint(painter, option, index);
    // The row's background and selection first, then the bar inside it.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = percent;
    bar.text = text;
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    bar.direction = option.direction;
    bar.fontMetrics = option.fontMetrics;
    bar.palette = option.palette;
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}

} // namespace dh
