#include "support/lists.h"

QAbstractItemView* viewOf(const platform::Control& list) { return qobject_cast<QAbstractItemView*>(list.widget()); }

QStringList entries(const platform::Control& list)
{
    QStringList texts;
    const QAbstractItemModel* model = viewOf(list)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, 0).data().toString();
    return texts;
}

void chooseRow(const platform::Control& list, int row)
{
    QAbstractItemView* view = viewOf(list);
    view->setCurrentIndex(view->model()->index(row, 0));
}
