#pragma once

// libstdc++ 12 declares std::expected only for a compiler that announces the
// C++20 concepts level in full; clang 16 has everything <expected> uses but
// announces an older level. Forced into every file of the fuzz build only.
#if defined(__clang__) && defined(__cpp_concepts) && __cpp_concepts < 202002L
#undef __cpp_concepts
#define __cpp_concepts 202002L
#endif
