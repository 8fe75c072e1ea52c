// The desktop shell's "open" action lives in the window code (it needs the GUI
// toolkit); the core only names the sibling programs beside the executable.
#pragma once

namespace platform {

#ifdef _WIN32
inline constexpr const char* kMapViewerProgram = "tileview.exe";
inline constexpr const char* kMapCombinerProgram = "tilejoin.exe";
#else
inline constexpr const char* kMapViewerProgram = "tileview";
inline constexpr const char* kMapCombinerProgram = "tilejoin";
#endif

}  // namespace platform
