#pragma once

class QAbstractItemView;
class QHelpEvent;
class QModelIndex;
class QString;

namespace tessaline {

// Answers a list row's tooltip request with `tip`, the row's whole text
// where the row cut it short, or with none: an empty tip also takes down
// one shown for the row before, whose text may since have come to fit.
// Returns true, the request being answered either way.
bool showRowToolTip(QHelpEvent *event, QAbstractItemView *view, const QModelIndex &index, const QString &tip);

} // namespace tessaline
