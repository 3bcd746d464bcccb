#pragma once

#include <cstdio>

#include <QStringList>

namespace orvelle::cli {

// Runs one command line of orvelle-cli (without the program name), writing
// to out and err; returns the exit status. Paths are in the form of
// NativePath.h and are printed as their bytes.
//   info FILE...                         one line a file: path, kind, width, height
//   render FILE [--size WxH] [-o OUT]    the picture drawn into a work bitmap, as PPM
//   check [options] PATH...              the duplicate check; the match records on out
//                                        (none when a file stopped the run)
//   --help                               the usage and what the output and status mean
int Run(const QStringList& args, std::FILE* out, std::FILE* err);

// Whether the command line loads or draws pictures, and so needs the GUI
// library's application object; an exact check needs none and runs lighter.
bool NeedsPictures(const QStringList& args);

} // namespace orvelle::cli
