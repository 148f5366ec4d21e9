#include "editor/BuildErrorList.h"

BuildErrorList::BuildErrorList(QObject* parent, int refreshMs)
    : QAbstractListModel(parent)
{
    refresh();
    if (refreshMs > 0) {
        connect(&timer_, &QTimer::timeout, this, &BuildErrorList::refresh);
        timer_.start(refreshMs);
    }
}

bool BuildErrorList::refresh()
{
    const BuildErrors& errors = buildErrors();
    if (errors.revision() == seenRevision_)
        return false;
    seenRevision_ = errors.revision();
    const int before = count();
    beginResetModel();
    rows_ = errors.entries();
    endResetModel();
    if (count() != before)
        Q_EMIT countChanged();
    return true;
}

int BuildErrorList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant BuildErrorList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= count())
        return {};
    const BuildError& e = rows_[size_t(index.row())];
    switch (role) {
    case FileRole:
        return QString::fromStdString(e.file);
    case LineRole:
        return e.line;
    case TextRole:
        return QString::fromStdString(e.text);
    case LocationRole:
        return QString::fromStdString(e.line > 0 ? e.file + ":" + std::to_string(e.line) : e.file);
    default:
        return {};
    }
}

QHash<int, QByteArray> BuildErrorList::roleNames() const
{
    return {{FileRole, "file"}, {LineRole, "line"}, {TextRole, "text"}, {LocationRole, "location"}};
}
