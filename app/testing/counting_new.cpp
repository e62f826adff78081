// The global allocation functions of a program that links this, counting what
// each thread allocates. Running out of memory ends the program.
#include <cstdlib>
#include <new>

#include "allocation_count.h"

namespace {

thread_local qv::AllocationCount g_count;

void* allocate(std::size_t size) noexcept {
  ++g_count.allocations;
  g_count.bytes += size;
  return std::malloc(size == 0 ? 1 : size);
}

void* allocate_or_abort(std::size_t size) {
  void* p = allocate(size);
  if (p == nullptr) std::abort();
  return p;
}

}  // namespace

qv::AllocationCount qv::allocations_so_far() noexcept { return g_count; }

void* operator new(std::size_t size) { return allocate_or_abort(size); }
void* operator new[](std::size_t size) { return allocate_or_abort(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
