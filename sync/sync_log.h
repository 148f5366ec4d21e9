#pragma once
// The debug log of the sync subsystem. Its lines are on by default; a demo
// author who finds one line per received key too chatty can filter the
// category "tarvonic.sync" with Qt's logging rules.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSync)
