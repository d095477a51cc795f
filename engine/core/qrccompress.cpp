#include "qrccompress.h"

#include <vector>

namespace qrccompress {

namespace {

const uint32_t ZeroRunDistance = 4095;  // d of a zero run
const size_t MaxChainSteps = 256;

inline uint32_t hashUnit(uint32_t u) {
  return ((u >> 16) ^ u) & 0xFFFF;
}

// Writes group by group, reserving each flag byte when its group starts.
class Writer {
 public:
  Writer(unsigned char* out, size_t capacity)
      : _out(out), _capacity(capacity), _size(0), _flagAt(0), _items(8), _ok(true) {}

  bool ok() const { return _ok; }
  void literal(uint32_t u) {
    startItem();
    if (!room(4)) return;
    for (int i = 0; i < 4; ++i) _out[_size++] = static_cast<unsigned char>(u >> (8 * i));
  }
  void reference(uint32_t d, size_t length) {
    startItem();
    _out[_flagAt] |= static_cast<unsigned char>(1u << (_items - 1));
    uint32_t n = length <= 15 ? static_cast<uint32_t>(length - 1) : 15;
    if (!room(n == 15 ? 3 : 2)) return;
    _out[_size++] = static_cast<unsigned char>((d >> 8) | (n << 4));
    _out[_size++] = static_cast<unsigned char>(d & 255);
    if (n == 15) _out[_size++] = static_cast<unsigned char>(length - 15);
  }
  size_t finish() {
    while (_ok && _items < 8) literal(0);
    startItem();  // the empty last group: its flag byte alone
    return _ok ? _size : 0;
  }

 private:
  void startItem() {
    if (_items == 8) {
      if (!room(1)) return;
      _flagAt = _size;
      _out[_size++] = 0;
      _items = 0;
    }
    ++_items;
  }
  bool room(size_t n) {
    if (!_ok || _size + n > _capacity) {
      _ok = false;
      return false;
    }
    return true;
  }

  unsigned char* _out;
  size_t _capacity;
  size_t _size;
  size_t _flagAt;
  int _items;
  bool _ok;
};

}  // namespace

size_t compress(const uint32_t* in, size_t n, unsigned char* out, size_t capacity) {
  Writer w(out, capacity);
  std::vector<int64_t> head(65536, -1);
  std::vector<int64_t> prev(Window, -1);
  auto insert = [&](size_t pos) {
    uint32_t h = hashUnit(in[pos]);
    prev[pos % Window] = head[h];
    head[h] = static_cast<int64_t>(pos);
  };
  size_t i = 0;
  while (i < n && w.ok()) {
    size_t bestLength = 0, bestDistance = 0;
    if (in[i] == 0 && i + 1 < n && in[i + 1] == 0) {
      size_t len = 0;
      while (i + len < n && len < MaxLength && in[i + len] == 0) ++len;
      w.reference(ZeroRunDistance, len);
      for (size_t k = 0; k < len; ++k) insert(i + k);
      i += len;
      continue;
    }
    size_t steps = 0;
    for (int64_t p = head[hashUnit(in[i])]; p >= 0 && steps < MaxChainSteps; ++steps) {
      size_t pos = static_cast<size_t>(p);
      size_t distance = i - pos;
      if (distance > ZeroRunDistance) break;  // d = 4095 is the zero run
      size_t len = 0;
      while (i + len < n && len < MaxLength && in[pos + len] == in[i + len]) ++len;
      if (len > bestLength) {
        bestLength = len;
        bestDistance = distance;
        if (len >= 4) break;
      }
      int64_t next = prev[pos % Window];
      if (next >= p) break;  // the slot was reused by a newer position
      p = next;
    }
    if (bestLength == 0) {
      w.literal(in[i]);
      insert(i);
      ++i;
      continue;
    }
    w.reference(static_cast<uint32_t>(bestDistance - 1), bestLength);
    for (size_t k = 0; k < bestLength; ++k) insert(i + k);
    i += bestLength;
  }
  if (!w.ok()) return 0;
  return w.finish();
}

bool decompress(const unsigned char* in, size_t size, uint32_t* out, size_t capacity,
                size_t* units) {
  size_t at = 0, produced = 0;
  while (at < size) {
    unsigned flags = in[at++];
    for (int k = 0; k < 8 && at < size; ++k) {
      if (!(flags & (1u << k))) {
        if (at + 4 > size || produced >= capacity) return false;
        out[produced++] = static_cast<uint32_t>(in[at]) | (static_cast<uint32_t>(in[at + 1]) << 8) |
                          (static_cast<uint32_t>(in[at + 2]) << 16) |
                          (static_cast<uint32_t>(in[at + 3]) << 24);
        at += 4;
        continue;
      }
      if (at + 2 > size) return false;
      uint32_t n = in[at] >> 4;
      uint32_t d = (static_cast<uint32_t>(in[at] & 15) << 8) | in[at + 1];
      at += 2;
      size_t length = n + 1;
      if (n == 15) {
        if (at >= size) return false;
        length = 15 + static_cast<size_t>(in[at++]);
      }
      if (length > capacity - produced) return false;
      if (d == ZeroRunDistance) {
        for (size_t j = 0; j < length; ++j) out[produced++] = 0;
        continue;
      }
      size_t distance = static_cast<size_t>(d) + 1;
      if (distance > produced) return false;
      for (size_t j = 0; j < length; ++j, ++produced) out[produced] = out[produced - distance];
    }
  }
  *units = produced;
  return true;
}

}  // namespace qrccompress
