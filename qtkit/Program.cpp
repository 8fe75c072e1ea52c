#include "qtkit/Program.h"

#include <QApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstring>

#include "core/platform/StatusLine.h"
#include "core/platform/Version.h"

namespace qtkit {

namespace {

// The sizes drawn (scripts/render-icons), as the build embeds them.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

}  // namespace

std::optional<int> AnswerInformationOptions(int argc, char** argv, const ProgramInfo& program,
                                            const std::string& settingsFile) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      platform::UseParentConsole();
      std::fputs(program.Usage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      platform::UseParentConsole();
      std::fputs(platform::VersionText(program.Name, settingsFile).c_str(), stdout);
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
      platform::UseParentConsole();
      std::fprintf(stderr, "%s: unknown option '%s'\n%s", program.Name, argument.toLocal8Bit().constData(),
                   program.Usage);
      return std::nullopt;
    }
  }
  if (arguments.size() == 1) return arguments.first();
  platform::UseParentConsole();
  std::fprintf(stderr, "%s: takes one file at most\n%s", program.Name, program.Usage);
  return std::nullopt;
}

}  // namespace qtkit
