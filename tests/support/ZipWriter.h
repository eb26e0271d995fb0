#pragma once

// Makes zip archives in memory (stored or deflated entries) and records where every header and every
// entry's data lands, so a test can damage exactly the field it is about. GuardedBuffer hands an
// archive over so that it ends right at an inaccessible page: reading one byte too far faults.

#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ZipTest {

// Offsets in a central directory record; kLocalNameLength in a local header, kEndDirectoryOffset
// in the end record.
enum Field : size_t {
  kFlags = 8,
  kMethod = 10,
  kCrc = 16,
  kCompressed = 20,
  kSize = 24,
  kNameLength = 28,
  kLocalOffset = 42,
  kLocalNameLength = 26,
  kEndDirectoryOffset = 16
};
constexpr uint16_t kUtf8Flag = 0x0800;

inline void Put(std::string& bytes, size_t offset, uint32_t value, int width = 4) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

inline uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Deflated data: raw, as a zip entry holds it, or in zlib's wrapping, as a PNG holds it.
inline std::string Deflate(const std::string& data, bool raw = true) {
  z_stream stream = {};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, raw ? -MAX_WBITS : MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

struct Placed {
  size_t local, data, dataSize, central;
};

class ZipWriter {
 public:
  ZipWriter& Add(const std::string& name, const std::string& data, bool deflate = false, uint16_t flags = 0) {
    items_.push_back({name, data, deflate ? Deflate(data) : data, "", static_cast<uint16_t>(deflate ? 8 : 0), flags});
    return *this;
  }
  // Writers may put an extra field into the local header only, so the data starts later than the
  // central record suggests.
  ZipWriter& LocalExtra(const std::string& extra) {
    items_.back().localExtra = extra;
    return *this;
  }

  std::string Build(const std::string& comment = "") {
    std::string zip;
    placed.clear();
    for (const Item& item : items_) {
      placed.push_back(
          {zip.size(), zip.size() + 30 + item.name.size() + item.localExtra.size(), item.stored.size(), 0});
      zip += Signature(0x04034b50) + Shared(item, item.localExtra.size()) + item.name + item.localExtra + item.stored;
    }
    size_t directory = zip.size();
    for (size_t i = 0; i < items_.size(); ++i) {
      placed[i].central = zip.size();
      std::string tail(14, '\0');  // comment length, disk, attributes, then the local header's offset
      Put(tail, 10, static_cast<uint32_t>(placed[i].local));
      zip += Signature(0x02014b50) + std::string("\x14\0", 2) + Shared(items_[i]) + tail + items_[i].name;
    }
    endRecord = zip.size();
    std::string end = Signature(0x06054b50) + std::string(18, '\0');
    Put(end, 8, static_cast<uint32_t>(items_.size() * 0x10001));  // entries here and in all
    Put(end, 12, static_cast<uint32_t>(endRecord - directory));
    Put(end, 16, static_cast<uint32_t>(directory));
    Put(end, 20, static_cast<uint32_t>(comment.size()), 2);
    return zip + end + comment;
  }

  std::vector<Placed> placed;  // per entry, valid after Build
  size_t endRecord = 0;

 private:
  struct Item {
    std::string name, data, stored, localExtra;
    uint16_t method, flags;
  };

  static std::string Signature(uint32_t value) {
    std::string bytes(4, '\0');
    Put(bytes, 0, value);
    return bytes;
  }

  // The fields both headers share, from "version needed" to the extra field's length.
  static std::string Shared(const Item& item, size_t extraLength = 0) {
    std::string fields(26, '\0');
    Put(fields, 0, 20, 2);
    Put(fields, 2, item.flags, 2);
    Put(fields, 4, item.method, 2);
    Put(fields, 8, 0x21, 2);  // 1980-01-01
    Put(fields, 10, Crc(item.data));
    Put(fields, 14, static_cast<uint32_t>(item.stored.size()));
    Put(fields, 18, static_cast<uint32_t>(item.data.size()));
    Put(fields, 22, static_cast<uint32_t>(item.name.size()), 2);
    Put(fields, 24, static_cast<uint32_t>(extraLength), 2);
    return fields;
  }

  std::vector<Item> items_;
};

// A read-only copy of some bytes whose last byte sits right before a page that cannot be touched.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(const std::string& bytes) : size_(bytes.size()) {
    const size_t page = 4096, dataPages = (size_ + page - 1) / page;
    base_ = static_cast<char*>(::VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_COMMIT, PAGE_READWRITE));
    data_ = base_ + dataPages * page - size_;
    std::memcpy(data_, bytes.data(), size_);
    DWORD old = 0;
    ::VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &old);
    if (dataPages > 0) ::VirtualProtect(base_, dataPages * page, PAGE_READONLY, &old);
  }
  ~GuardedBuffer() { ::VirtualFree(base_, 0, MEM_RELEASE); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  const void* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  char* base_ = nullptr;
  char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace ZipTest
