// Corvana, the Pellister viewer. Until the skinned main frame lands this is a plain window that
// lists the loaded catalogue, so that "--folder DIR" can be tried end to end.
#include "catalogue/corvanadoc.h"

#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QHeaderView>
#include <QMainWindow>
#include <QTableWidget>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    QApplication::setOrganizationName(QStringLiteral("Pellister"));
    QApplication::setApplicationVersion(QStringLiteral(PELLISTER_VERSION_STRING));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pellister recording viewer"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption folderOption(QStringLiteral("folder"),
                                    QStringLiteral("Load DIR at start, as \"Set Folder\" would."),
                                    QStringLiteral("DIR"));
    parser.addOption(folderOption);
    parser.process(app);

    CCorvanaDoc doc;
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Pellister"));
    window.setMinimumSize(1024, 768);
    auto *table = new QTableWidget(&window);
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({QStringLiteral("Type"), QStringLiteral("Contents List")});
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    window.setCentralWidget(table);

    if (parser.isSet(folderOption)) {
        doc.SetFolder(parser.value(folderOption));
        doc.LoadFolder();
        table->setRowCount(doc.Count());
        for (int i = 0; i < doc.Count(); ++i) {
            const tagDATAFILEINFO &rec = doc.RecordRef(i);
            table->setItem(i, 0, new QTableWidgetItem(RecordingTypeName(rec.nType)));
            table->setItem(i, 1, new QTableWidgetItem(RecordListText(rec, doc.MediaPathAt(i))));
        }
    }
    window.show();
    return app.exec();
}
