#pragma once
// Counts the OpenGL calls a viewer makes through its QOpenGLFunctions_1_1, and the time spent
// inside them (the thread's CPU time). Qt keeps one table of function pointers per context and per
// OpenGL version, shared by every QOpenGLFunctions_1_1 of that context; Install() puts a counting
// trampoline in front of every entry of the 1.0 and 1.1 tables, so the viewers' calls are counted
// without a line of theirs changed. Calls compiled into a display list are counted when the
// list is built (the driver replays them at glCallList without coming through here).
//
// Qt keeps the tables behind private members; they are reached with the explicit
// instantiation rule (access is not checked in an explicit instantiation's arguments).
// For benchmarks and tests only, window thread only.

#include <QOpenGLContext>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLVersionFunctionsFactory>
#include <cstdint>
#include <ctime>
#include <map>
#include <string>

namespace glcount {

struct TCounts {
  uint64_t Calls = 0;
  double InsideNs = 0;  // the thread's CPU time inside the counted calls
  std::map<std::string, uint64_t> ByName;
  uint64_t Of(const std::string& name) const {
    const auto it = ByName.find(name);
    return it == ByName.end() ? 0 : it->second;
  }
};

inline double ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

inline TCounts& Counts() {
  static TCounts counts;
  return counts;
}

inline void Reset() {
  TCounts& c = Counts();
  c.Calls = 0;
  c.InsideNs = 0;
  for (auto& [name, n] : c.ByName) n = 0;
}

// One trampoline per table entry: Tag is a type of its own for each entry.
template <class Tag, class Fn>
struct TTrampoline;

template <class Tag, class R, class... A>
struct TTrampoline<Tag, R (*)(A...)> {
  static inline R (*Original)(A...) = nullptr;
  static inline uint64_t* Count = nullptr;

  static R Call(A... a) {
    TCounts& c = Counts();
    ++c.Calls;
    ++*Count;
    struct TClock {
      double Start = ThreadCpuNs();
      ~TClock() { Counts().InsideNs += ThreadCpuNs() - Start; }
    } clock;
    return Original(a...);
  }
};

template <class Tag, class Fn>
void Hook(Fn& entry, const char* name) {
  using T = TTrampoline<Tag, Fn>;
  if (entry == nullptr || entry == &T::Call) return;
  T::Original = entry;
  T::Count = &Counts().ByName[name];
  entry = &T::Call;
}

// Access to the private table pointers of QOpenGLFunctions_1_1.
template <class Tag, typename Tag::Type Member>
struct TReach {
  friend typename Tag::Type Reach(Tag) { return Member; }
};
#define GLCOUNT_REACH(TagName, Backend, member)    \
  struct TagName {                                 \
    using Type = Backend* QOpenGLFunctions_1_1::*; \
    friend Type Reach(TagName);                    \
  };                                               \
  template struct TReach<TagName, &QOpenGLFunctions_1_1::member>
GLCOUNT_REACH(TCore10, QOpenGLFunctions_1_0_CoreBackend, d_1_0_Core);
GLCOUNT_REACH(TCore11, QOpenGLFunctions_1_1_CoreBackend, d_1_1_Core);
GLCOUNT_REACH(TOld10, QOpenGLFunctions_1_0_DeprecatedBackend, d_1_0_Deprecated);
GLCOUNT_REACH(TOld11, QOpenGLFunctions_1_1_DeprecatedBackend, d_1_1_Deprecated);
#undef GLCOUNT_REACH

#define GLCOUNT_HOOK(ret, name, args)    \
  {                                      \
    struct TEntry {};                    \
    Hook<TEntry>(b->f.name, "gl" #name); \
  }

// Counts every later call of the OpenGL 1.0 and 1.1 functions on `context`'s tables.
inline void Install(QOpenGLContext* context) {
  auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(context);
  if (!gl) return;
  if (auto* b = gl->*Reach(TCore10{})) {
    QT_OPENGL_1_0_FUNCTIONS(GLCOUNT_HOOK)
  }
  if (auto* b = gl->*Reach(TCore11{})) {
    QT_OPENGL_1_1_FUNCTIONS(GLCOUNT_HOOK)
  }
  if (auto* b = gl->*Reach(TOld10{})) {
    QT_OPENGL_1_0_DEPRECATED_FUNCTIONS(GLCOUNT_HOOK)
  }
  if (auto* b = gl->*Reach(TOld11{})) {
    QT_OPENGL_1_1_DEPRECATED_FUNCTIONS(GLCOUNT_HOOK)
  }
}
#undef GLCOUNT_HOOK

}  // namespace glcount
