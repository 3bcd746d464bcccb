// How long the main window stops answering while a large list is gathered,
// checked and cleared: a timer on the window's thread asks to run every 5 ms,
// and the longest wait between two of its runs is the longest freeze.
//
//   orvelle_window_bench [--files N] [--keep DIR] [--cancel-fuzzy PHOTOS]
//
// Makes N files (default 100,000) of 1 KiB in a temporary folder, a tenth
// of them in pairs of equal bytes, then on the offscreen platform: the
// folder scan (through the folder command), clearing the list, the scan
// again and the exact check (options answered, the results window closed as
// soon as it shows; the run empties the list). With --cancel-fuzzy, a fuzzy
// check of the folder PHOTOS is cancelled a second in, and the time from the
// click to the end of the run is printed. Prints a line for each step: its wall time and its longest freeze.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "CheckOptionUnit.h"
#include "FakePrompts.h"
#include "Fonts.h"
#include "MainUnit.h"
#include "ProgressUnit.h"

namespace {

// The longest wait between the runs of a 5 ms timer.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, clock_.restart());
        });
    }
    void Start()
    {
        longest_ = 0;
        clock_.start();
        timer_.start();
    }
    qint64 Stop()
    {
        timer_.stop();
        return std::max(longest_, clock_.elapsed());
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

bool MakeFiles(const QString& folder, int count)
{
    std::mt19937 random(100000);
    QByteArray bytes(1024, '\0');
    for (int i = 0; i < count; ++i) {
        const QString sub = QStringLiteral("%1/d%2").arg(folder).arg(i % 100, 3, 10, QChar(u'0'));
        if (i < 100 && !QDir().mkpath(sub))
            return false;
        // Every tenth file repeats the bytes of the one before it.
        if (i % 10 != 9) {
            for (char& c : bytes)
                c = char(random());
        }
        QFile file(QStringLiteral("%1/f%2.jpg").arg(sub).arg(i, 6, 10, QChar(u'0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

void Report(const char* step, qint64 wallMs, qint64 freezeMs, int listed)
{
    std::printf("%-6s %8.2f s wall   longest freeze %6lld ms   %7d in the list\n", step,
                double(wallMs) / 1000.0, static_cast<long long>(freezeMs), listed);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    int count = 100000;
    QString keep;
    QString photos;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--files")
            count = std::max(2, QByteArray(argv[++i]).toInt());
        else if (QByteArray(argv[i]) == "--keep")
            keep = QString::fromLocal8Bit(argv[++i]);
        else if (QByteArray(argv[i]) == "--cancel-fuzzy")
            photos = QString::fromLocal8Bit(argv[++i]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    orvelle::RegisterFontSubstitutes();

    QTemporaryDir temp;
    const QString root = keep.isEmpty() ? temp.path() : keep;
    const QString folder = root + QStringLiteral("/files");
    if (!QFileInfo::exists(folder + QStringLiteral("/d000")) && !MakeFiles(folder, count)) {
        std::fprintf(stderr, "cannot make the files under %s\n", qPrintable(folder));
        return 1;
    }

    orvelle::test::FakePrompts prompts;
    TMainForm form(prompts, root + QStringLiteral("/orvelle"));
    TProgressDlg progress(form.CancelFlag, prompts);
    TCheckOptionDlg options(prompts);
    form.AttachDialogs(&progress, &options);
    form.show();
    StallMeter meter;
    QElapsedTimer wall;

    // The folder command, its folder dialog answered.
    const auto scan = [&] {
        prompts.folderAnswers.push_back(folder);
        meter.Start();
        wall.start();
        form.mAddFolderClick();
        QApplication::processEvents(); // the list's first layout and paint
        Report("scan", wall.elapsed(), meter.Stop(), form.ListBox1()->count());
    };
    QTimer::singleShot(0, &form, [&] {
        scan();
        // Clearing, confirmed.
        prompts.confirmAnswers.push_back(true);
        meter.Start();
        wall.start();
        form.mClearClick();
        QApplication::processEvents();
        Report("clear", wall.elapsed(), meter.Stop(), form.ListBox1()->count());
        scan();

        // The check: exact, OK; the results window closes once it shows.
        QTimer::singleShot(0, &form, [&] {
            options.RadioButton1()->setChecked(true);
            options.accept();
        });
        QTimer closer;
        closer.setInterval(20);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != &progress)
                modal->close();
        });
        meter.Start();
        wall.start();
        closer.start();
        form.mCheckClick();
        closer.stop();
        QApplication::processEvents();
        Report("check", wall.elapsed(), meter.Stop(), form.ListBox1()->count());

        // A fuzzy check of the photographs, cancelled with the progress
        // dialog's button a second in: how long until the run has stopped.
        if (!photos.isEmpty()) {
            form.ListBox1()->clear();
            form.ScanFolder(photos);
            QTimer::singleShot(0, &form, [&] {
                options.RadioButton2()->setChecked(true);
                options.accept();
            });
            QElapsedTimer sinceCancel;
            QTimer::singleShot(1000, &form, [&] {
                sinceCancel.start();
                progress.CancelBtn()->click();
            });
            meter.Start();
            wall.start();
            form.mCheckClick();
            std::printf("cancel %8.2f s wall   longest freeze %6lld ms   stopped %lld ms after "
                        "Cancel\n",
                        double(wall.elapsed()) / 1000.0, static_cast<long long>(meter.Stop()),
                        static_cast<long long>(sinceCancel.isValid() ? sinceCancel.elapsed() : -1));
            std::fflush(stdout);
        }
        // exit, not quit: quit would ask the window to close first.
        QApplication::exit(0);
    });
    return QApplication::exec();
}
