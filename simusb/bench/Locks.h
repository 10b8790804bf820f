/// The simulator's locks: std::mutex under the annotations that clang's
/// -Wthread-safety checks (win32/ThreadSafety.h). Every part of the simulator
/// uses these, so the analysis sees each of its locks.
#pragma once

#include "win32/ThreadSafety.h"

#include <mutex>

namespace zorvasim {
namespace detail {

typedef ZORVA::AnnotatedMutex<std::mutex> SimMutex;
typedef ZORVA::ScopedLock<SimMutex> SimLock;
/// For a lock let go in between (around PostThreadMessageW) and for
/// std::condition_variable_any.
typedef ZORVA::UniqueLock<SimMutex> SimUniqueLock;

} // namespace detail
} // namespace zorvasim
