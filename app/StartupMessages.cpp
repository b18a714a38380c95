#include "app/StartupMessages.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct THeldMessage {
  QtMsgType Type;
  QByteArray Category;
  QString Text;
};

QtMessageHandler g_previous = nullptr;
bool g_starting = false;
std::string g_program;
std::vector<THeldMessage> g_held;

bool IsRuntimeDirNotice(const QString& text) {
  return text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"));
}

void Pass(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (g_previous) g_previous(type, context, text);
}

[[noreturn]] void NoDisplay() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) {
    std::fprintf(stderr,
                 "%s: no display: DISPLAY is not set (start it in a desktop session; "
                 "--screenshot DIR runs under xvfb-run)\n",
                 g_program.c_str());
  } else {
    std::fprintf(stderr, "%s: cannot open a window on display \"%s\"\n", g_program.c_str(),
                 display && *display ? display : wayland);
  }
  std::fflush(stderr);
  // No abort and no exit handlers: the half-made application object must not be torn down.
  std::_Exit(1);
}

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (IsRuntimeDirNotice(text)) return;
  if (g_starting) {
    if (type == QtFatalMsg) NoDisplay();
    const QByteArray category(context.category ? context.category : "");
    if (category.startsWith("qt.qpa")) {
      g_held.push_back({type, category, text});
      return;
    }
  }
  Pass(type, context, text);
}

}  // namespace

TStartupMessages::TStartupMessages(const char* program) {
  g_program = program;
  g_starting = true;
  g_previous = qInstallMessageHandler(Filter);
}

TStartupMessages::~TStartupMessages() {
  Started();
  qInstallMessageHandler(g_previous);
}

void TStartupMessages::Started() {
  g_starting = false;
  std::vector<THeldMessage> held;
  held.swap(g_held);
  for (const THeldMessage& m : held) {
    const QMessageLogContext context(nullptr, 0, nullptr, m.Category.constData());
    Pass(m.Type, context, m.Text);
  }
}
