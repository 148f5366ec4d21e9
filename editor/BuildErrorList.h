#pragma once
// The edit view's list of what failed to build (state/BuildErrors.h), as a
// model QML shows: one row per error, newest first, with the file, the line
// and the compiler's or the engine's text. It copies the list only when the
// list's revision has moved since it last looked, a few times a second.
#include "state/BuildErrors.h"

#include <QAbstractListModel>
#include <QTimer>

#include <cstdint>
#include <vector>

class BuildErrorList : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { FileRole = Qt::UserRole + 1, LineRole, TextRole, LocationRole };

    // Looks at the list every refreshMs (0: only when refresh is called).
    explicit BuildErrorList(QObject* parent = nullptr, int refreshMs = 250);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    int count() const { return int(rows_.size()); }

public Q_SLOTS:
    // Takes the list anew when it changed; true when it did.
    bool refresh();

Q_SIGNALS:
    void countChanged();

private:
    std::vector<BuildError> rows_;
    uint64_t seenRevision_ = 0;
    QTimer timer_;
};
