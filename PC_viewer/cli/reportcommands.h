// pellister-cli `report`: the printed report as a PDF, and the application it needs.
#pragma once

#include "cli/clicommands.h"
#include "cli/climoment.h"

#include <QPageLayout>
#include <QPageSize>

#include <functional>

#include <QCoreApplication>

#include <memory>

QVector<CliCommand> ReportCommands();

class QPainter;
class QSize;

// One report to print: the clip at a moment, onto a PDF, with pages of the caller's after the
// report's own.
struct tagREPORTJOB {
    QString strClip;
    QString strOut;
    tagCLIMOMENT moment;
    QPageSize::PageSizeId paper = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QString strServer;
    std::function<int(const QSize &)> countExtraPages;
    std::function<void(QPainter &, const QSize &, int)> drawExtraPage;
};
// Prints it (exit status as the commands give it; messages on err). *pages gets the page count.
int PrintReportOfMoment(const tagREPORTJOB &job, const char *command, QTextStream &out, QTextStream &err,
                        int *pages);

// The application for a command line: a GUI one (offscreen) for `report`, a plain one otherwise.
std::unique_ptr<QCoreApplication> MakeCliApplication(int &argc, char **argv);
