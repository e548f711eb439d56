#ifndef VELMAR_TESTS_STEADY_UNIT_H
#define VELMAR_TESTS_STEADY_UNIT_H

#include "simulator/unit_simulator.h"

#include <QtCore/QStringList>

#include <memory>

// The simulated unit at exact values (no drift) and a brisk rate, on a new
// pseudo-terminal behind the link if one is given, set by its commands
// before its first status is due; null when it could not start.
std::unique_ptr<Unit_simulator> steady_unit(const QStringList &commands = {},
                                            const QString &link = {});

#endif
