#include "FuzzInputs.h"

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "Bitmap.h"
#include "Canvas.h"
#include "CheckDefaults.h"
#include "CompFormRules.h"
#include "Errors.h"
#include "ExtensionListFile.h"
#include "FileListRules.h"
#include "FormatRegistry.h"
#include "IniFile.h"
#include "PathRules.h"

namespace orvelle::fuzz {

namespace {

// The preview box and the small work bitmap: a size at which every picture
// is shrunk, so the shrinking paths of the canvas run on every input.
constexpr int kSmallSide = 64;

// A broken promise of the code under test, as opposed to a damaged input:
// it is not one of the layer's errors, so it escapes to the fuzzer or fails
// the test.
[[noreturn]] void Fault(const char* what)
{
    throw std::logic_error(what);
}

void DrawIntoWorkBitmap(TGraphic& graphic, int width, int height)
{
    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetWidth(width);
    work.SetHeight(height);
    TCanvas(work).DrawStretched({0, 0, width, height}, &graphic);
}

void PaintPreview(TGraphic& graphic)
{
    QImage box(kSmallSide, kSmallSide, QImage::Format_RGB32);
    box.fill(Qt::white);
    QPainter painter(&box);
    TCanvas canvas(painter, box.width(), box.height());
    canvas.DrawStretched(FitRect(graphic.Width(), graphic.Height(), box.width(), box.height()),
                         &graphic);
    canvas.DrawAt(0, 0, &graphic);
}

// A file with the given bytes in a folder of its own, removed afterwards:
// the settings readers take a path.
class ScratchFile {
public:
    ScratchFile(const QString& name, QByteArrayView bytes) : path_(dir_.filePath(name))
    {
        QFile file(path_);
        if (!dir_.isValid() || !file.open(QIODevice::WriteOnly) ||
            file.write(bytes.data(), bytes.size()) != bytes.size())
            Fault("scratch file not written");
    }

    const QString& Path() const noexcept { return path_; }

private:
    QTemporaryDir dir_;
    QString path_;
};

void RunBmp(QByteArrayView bytes)
{
    LoadAndDrawPicture(QStringLiteral("bmp"), bytes);
}

void RunJpeg(QByteArrayView bytes)
{
    LoadAndDrawPicture(QStringLiteral("jpg"), bytes);
}

void RunIco(QByteArrayView bytes)
{
    LoadAndDrawPicture(QStringLiteral("ico"), bytes);
}

void RunEmf(QByteArrayView bytes)
{
    LoadAndDrawPicture(QStringLiteral("emf"), bytes);
}

void RunWmf(QByteArrayView bytes)
{
    LoadAndDrawPicture(QStringLiteral("wmf"), bytes);
}

constexpr std::array kTargets{
    Target{"bmp", &RunBmp},
    Target{"jpeg", &RunJpeg},
    Target{"ico", &RunIco},
    Target{"emf", &RunEmf},
    Target{"wmf", &RunWmf},
    Target{"ini", &ReadSettingsFile},
    Target{"ext", &ReadExtensionListFile},
};

} // namespace

void LoadAndDrawPicture(const QString& extension, QByteArrayView bytes)
{
    // As TPicture::LoadFile: the registry's kind for the extension reads the
    // whole device from its start.
    const FormatEntry* entry = FormatRegistry::Instance().Find(extension);
    if (!entry)
        Fault("no picture kind for the extension");
    const std::unique_ptr<TGraphic> graphic = entry->create();
    QByteArray data = bytes.toByteArray();
    QBuffer device(&data);
    device.open(QIODevice::ReadOnly);
    graphic->LoadFromStream(device);

    // Every picture is drawn whatever size it claims: what a draw costs
    // follows the pixels it reads and writes, not the header.
    const int width = graphic->Width();
    const int height = graphic->Height();
    DrawIntoWorkBitmap(*graphic, std::min(width, kOwnSizeCap), std::min(height, kOwnSizeCap));
    DrawIntoWorkBitmap(*graphic, kSmallSide, kSmallSide);
    PaintPreview(*graphic);
}

void ReadSettingsFile(QByteArrayView bytes)
{
    const ScratchFile scratch(QStringLiteral("orvelle.ini"), bytes);
    const QString defaultList = QStringLiteral("orvelle.ext");

    // What the main window reads when it opens ...
    QString listPath;
    int top = 0, left = 0, errCount = 0, errClr = 0;
    {
        const IniFile ini(scratch.Path());
        listPath = ini.ReadString(QStringLiteral("ExtList"), QStringLiteral("Path"), defaultList);
        top = ini.ReadInteger(QStringLiteral("Window"), QStringLiteral("Top"), 0);
        left = ini.ReadInteger(QStringLiteral("Window"), QStringLiteral("Left"), 0);
        errCount = ini.ReadInteger(QStringLiteral("Option"), QStringLiteral("Err_Count"),
                                   kDefaultErrCount);
        errClr = ini.ReadInteger(QStringLiteral("Option"), QStringLiteral("Err_Clr"), kDefaultErrClr);
    }
    // ... and writes back when it closes, keeping what else the file holds.
    {
        IniFile ini(scratch.Path());
        ini.WriteString(QStringLiteral("ExtList"), QStringLiteral("Path"), listPath);
        ini.WriteInteger(QStringLiteral("Window"), QStringLiteral("Top"), top);
        ini.WriteInteger(QStringLiteral("Window"), QStringLiteral("Left"), left);
        ini.WriteInteger(QStringLiteral("Option"), QStringLiteral("Err_Count"), errCount);
        ini.WriteInteger(QStringLiteral("Option"), QStringLiteral("Err_Clr"), errClr);
        ini.UpdateFile();
    }
    const IniFile again(scratch.Path());
    if (again.ReadString(QStringLiteral("ExtList"), QStringLiteral("Path"), QString()) != listPath)
        Fault("the list path written is not the one read back");
    if (again.ReadInteger(QStringLiteral("Window"), QStringLiteral("Top"), ~top) != top ||
        again.ReadInteger(QStringLiteral("Window"), QStringLiteral("Left"), ~left) != left ||
        again.ReadInteger(QStringLiteral("Option"), QStringLiteral("Err_Count"), ~errCount) !=
            errCount ||
        again.ReadInteger(QStringLiteral("Option"), QStringLiteral("Err_Clr"), ~errClr) != errClr)
        Fault("an integer written is not the one read back");
}

void ReadExtensionListFile(QByteArrayView bytes)
{
    const ScratchFile scratch(QStringLiteral("orvelle.ext"), bytes);
    const QStringList patterns = ReadExtensionList(scratch.Path());

    ExtensionItems items;
    for (const QString& pattern : patterns)
        items.append({pattern, true});
    for (const QString& pattern : patterns)
        ExtensionChecked(items, ExtractFileExt(pattern));
    ExtensionChecked(items, QStringLiteral(".jpg"));
    ToQtNameFilters(OpenDialogFilter(PatternText(items)));

    // The main window writes the list back when it closes; the next start
    // must read the same patterns.
    WriteExtensionList(scratch.Path(), patterns);
    if (ReadExtensionList(scratch.Path()) != patterns)
        Fault("the patterns written are not the ones read back");
}

std::span<const Target> Targets()
{
    return kTargets;
}

const Target* FindTarget(std::string_view name)
{
    const auto found = std::find_if(kTargets.begin(), kTargets.end(),
                                    [&](const Target& t) { return t.name == name; });
    return found == kTargets.end() ? nullptr : &*found;
}

void EnsureGuiApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 3;
    static char name[] = "orvelle-fuzz";
    static char flag[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, flag, platform, nullptr};
    static QGuiApplication app(argc, argv);
}

int RunOneInput(std::string_view target, const std::uint8_t* data, std::size_t size)
{
    const Target* found = FindTarget(target);
    if (!found)
        Fault("no such fuzz target");
    try {
        found->run(QByteArrayView(data, static_cast<qsizetype>(size)));
    } catch (const Exception&) {
        // A damaged input ending in one of the layer's errors is the outcome
        // every input may have.
    }
    return 0;
}

} // namespace orvelle::fuzz
