#include "qtkit/Program.h"

#include <QApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/platform/StatusLine.h"
#include "core/platform/Version.h"

namespace qtkit {

namespace {

// The sizes drawn (scripts/render-icons), as the build embeds them.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Prints text on stream: a window program's answer on the command line, in
// the console it was started from.
void Print(std::FILE* stream, const std::string& text) {
  platform::UseParentConsole();
  std::fputs(text.c_str(), stream);
}

}  // namespace

std::optional<int> AnswerInformationOptions(int argc, char** argv, const ProgramInfo& program,
                                            const std::string& settingsFile) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Print(stdout, program.Usage);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      Print(stdout, platform::VersionText(program.Name, settingsFile));
      return 0;
    }
  }
  return std::nullopt;
}

QIcon ProgramIcon(const char* desktopId) {
  QIcon icon;
  for (const int size : kIconSizes) {
    const QString file = QStringLiteral(":/icons/%1x%1/apps/%2.png").arg(size).arg(QString::fromLatin1(desktopId));
    if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
  }
  return icon;
}

void SetUpWindowProgram(const ProgramInfo& program) {
  QApplication::setWindowIcon(ProgramIcon(program.DesktopId));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(program.DesktopId));
}

std::optional<QString> FileArgument(const ProgramInfo& program) {
  const QStringList arguments = QApplication::arguments().mid(1);
  if (arguments.isEmpty()) return QString();
  for (const QString& argument : arguments) {
    if (argument.startsWith(QLatin1Char('-'))) {
      Print(stderr, std::string(program.Name) + ": unknown option '" + argument.toLocal8Bit().toStdString() +
                        "'\n" + program.Usage);
      return std::nullopt;
    }
  }
  if (arguments.size() == 1) return arguments.first();
  Print(stderr, std::string(program.Name) + ": takes one file at most\n" + program.Usage);
  return std::nullopt;
}

}  // namespace qtkit
