// coachgate-testhook: the workstation exactly as coachgate starts it, plus
// the test hook (workstationhook.h). Built for the tests only and never
// installed.
//
//   coachgate-testhook --test-hook NAME [--print-folder DIR] [coachgate's options]
//
// --test-hook NAME: the local server name the hook listens on.
// --print-folder DIR: printed sheets go to DIR as PDF files, never to a
// printer.
#include "workstationhook.h"

#include "app/startup.h"
#include "core/dates.h"
#include "sheetprinter/sheetprinter.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    cg::PinLocalTimeZone();
    // The hook's own options are taken out; the rest is the workstation's.
    QString hookName;
    QString printFolder;
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const bool hook = std::strcmp(argv[i], "--test-hook") == 0;
        const bool print = std::strcmp(argv[i], "--print-folder") == 0;
        if ((hook || print) && i + 1 < argc) {
            (hook ? hookName : printFolder) = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (hook || print) {
            std::fprintf(stderr, "coachgate-testhook: %s needs a value\n", argv[i]);
            return 2;
        }
        rest.push_back(argv[i]);
    }
    if (hookName.isEmpty()) {
        std::fputs("usage: coachgate-testhook --test-hook NAME [--print-folder DIR] [coachgate options]\n", stderr);
        return 2;
    }
    int restCount = int(rest.size());
    rest.push_back(nullptr);

    // Printing goes to PDF files in every case: into the folder given, or
    // into a scratch folder that nobody reads.
    if (printFolder.isEmpty())
        printFolder = QDir::temp().filePath(u"coachgate-testhook-print"_s);
    QDir().mkpath(printFolder);
    cg::PdfFolderBackend printer(printFolder);
    cg::SheetPrinter::setDefaultBackend(&printer);

    cg::testhook::HookMessageSink messages;
    std::unique_ptr<cg::testhook::WorkstationHook> hook;
    cg::WorkstationExtras extras;
    extras.beforeStart = [&](cg::Env &env, cg::Startup &startup) {
        env.messages = &messages;
        hook = std::make_unique<cg::testhook::WorkstationHook>(
            messages, [&startup] { return startup.mainWindow(); }, &startup.station());
        QString why;
        if (!hook->listen(hookName, &why)) {
            std::fprintf(stderr, "coachgate-testhook: cannot listen on %s: %s\n", qPrintable(hookName),
                         qPrintable(why));
            std::exit(3);
        }
        // The hook goes with the event loop, while the application and the
        // start-up it reaches still exist.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&hook] { hook.reset(); });
    };
    const int code = cg::RunWorkstation(restCount, rest.data(), extras);
    // Start-up ended before the event loop: the application is gone, the
    // process ends; the hook is left to it.
    (void)hook.release();
    cg::SheetPrinter::setDefaultBackend(nullptr);
    return code;
}
