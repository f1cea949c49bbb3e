// pellister-cli `report`: the printed report as a PDF, and the application it needs.
#pragma once

#include "cli/clicommands.h"

#include <QCoreApplication>

#include <memory>

QVector<CliCommand> ReportCommands();

// The application for a command line: a GUI one (offscreen) for `report`, a plain one otherwise.
std::unique_ptr<QCoreApplication> MakeCliApplication(int &argc, char **argv);
