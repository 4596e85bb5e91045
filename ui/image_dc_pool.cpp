#include "ui/image_dc_pool.h"

#include <atomic>

namespace image_dc_pool {
namespace {

constexpr int kSlots = 4;
std::atomic<HDC> g_slots[kSlots];

}  // namespace

HDC Take() {
  for (auto& slot : g_slots) {
    HDC dc = slot.exchange(nullptr);
    if (dc) return dc;
  }
  return ::CreateCompatibleDC(nullptr);
}

void Give(HDC dc) {
  if (!dc) return;
  for (auto& slot : g_slots) {
    HDC expected = nullptr;
    if (slot.compare_exchange_strong(expected, dc)) return;
  }
  ::DeleteDC(dc);
}

void Clear() {
  for (auto& slot : g_slots) {
    HDC dc = slot.exchange(nullptr);
    if (dc) ::DeleteDC(dc);
  }
}

int CachedCount() {
  int n = 0;
  for (auto& slot : g_slots) n += slot.load() != nullptr;
  return n;
}

}  // namespace image_dc_pool
