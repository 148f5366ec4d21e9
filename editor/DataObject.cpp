#include "editor/DataObject.h"

DataObject::DataObject(QObject* parent)
    : QObject(parent)
{
}

DataObject::DataObject(const QString& name, const QString& color, QObject* parent)
    : QObject(parent)
    , name_(name)
    , color_(color)
{
}

namespace {
template <typename Signal>
void assign(DataObject* self, QString& field, const QString& v, Signal signal)
{
    if (field == v)
        return;
    field = v;
    Q_EMIT(self->*signal)();
}
} // namespace

void DataObject::setName(const QString& v) { assign(this, name_, v, &DataObject::nameChanged); }
void DataObject::setRocketName(const QString& v) { assign(this, rocketName_, v, &DataObject::rocketNameChanged); }
void DataObject::setRocketNameStack(const QString& v) { assign(this, rocketNameStack_, v, &DataObject::rocketNameStackChanged); }
void DataObject::setDetails(const QString& v) { assign(this, details_, v, &DataObject::detailsChanged); }
void DataObject::setColor(const QString& v) { assign(this, color_, v, &DataObject::colorChanged); }
void DataObject::setSkeneName(const QString& v) { assign(this, skeneName_, v, &DataObject::skeneNameChanged); }
void DataObject::setOrigName(const QString& v) { assign(this, origName_, v, &DataObject::origNameChanged); }

void DataObject::setChilds(const QList<QObject*>& v)
{
    if (childs_ != v)
        childs_ = v;
    Q_EMIT childrenChanged();
}
