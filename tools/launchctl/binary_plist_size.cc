#include "tools/launchctl/binary_plist_size.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace tarnel::launchctl {

namespace {

constexpr std::size_t kHeaderLength = 8;  // "bplist00"
constexpr std::size_t kTrailerLength = 32;
// What one value costs libplist beside its contents: its node and its data record.
constexpr std::uint64_t kObjectCost = 64;

std::uint64_t bigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

// One object of the table: its own cost, and where the references to its children lie.
struct Object {
  std::uint64_t cost = kObjectCost;
  std::size_t children = 0;  // offset of the first reference
  std::uint64_t childCount = 0;
};

class Table {
 public:
  explicit Table(std::string_view document) : document_(document) {}

  // Reads the trailer; false when it does not describe a table inside the document.
  bool open() {
    if (document_.size() < kHeaderLength + kTrailerLength) return false;
    const std::size_t trailer = document_.size() - kTrailerLength;
    offsetSize_ = static_cast<std::uint8_t>(document_[trailer + 6]);
    referenceSize_ = static_cast<std::uint8_t>(document_[trailer + 7]);
    count_ = bigEndian(document_, trailer + 8, 8);
    root_ = bigEndian(document_, trailer + 16, 8);
    tableOffset_ = bigEndian(document_, trailer + 24, 8);
    return offsetSize_ >= 1 && offsetSize_ <= 8 && referenceSize_ >= 1 && referenceSize_ <= 8 &&
           count_ > 0 && root_ < count_ && tableOffset_ >= kHeaderLength &&
           tableOffset_ <= trailer && count_ <= (trailer - tableOffset_) / offsetSize_;
  }

  std::uint64_t count() const { return count_; }
  std::uint64_t root() const { return root_; }

  std::uint64_t reference(std::size_t at) const { return bigEndian(document_, at, referenceSize_); }

  // Object `index` as its marker declares it; nothing when it lies outside the objects.
  std::optional<Object> object(std::uint64_t index) const {
    const std::uint64_t at = bigEndian(document_, tableOffset_ + index * offsetSize_, offsetSize_);
    if (at < kHeaderLength || at >= tableOffset_) return std::nullopt;
    const auto marker = static_cast<std::uint8_t>(document_[at]);
    std::uint64_t count = marker & 0x0f;
    std::uint64_t next = at + 1;
    const int type = marker >> 4;
    // A count of 15 or more follows the marker as an integer object.
    if (count == 0x0f && (type == 0x4 || type == 0x5 || type == 0x6 || type == 0xa || type == 0xd)) {
      if (next >= tableOffset_) return std::nullopt;
      const auto integer = static_cast<std::uint8_t>(document_[next]);
      const std::uint64_t width = std::uint64_t{1} << (integer & 0x0f);
      if ((integer >> 4) != 0x1 || width > 8 || width > tableOffset_ - next - 1) return std::nullopt;
      count = bigEndian(document_, next + 1, width);
      next += 1 + width;
    }
    // Contents and references lie before the offset table.
    const std::uint64_t room = tableOffset_ - next;
    Object object;
    switch (type) {
      case 0x4:  // data
      case 0x5:  // ASCII text
        if (count > room) return std::nullopt;
        object.cost += count;
        break;
      case 0x6:  // UTF-16 text, up to three bytes of UTF-8 for each unit
        if (count > room / 2) return std::nullopt;
        object.cost += 3 * count;
        break;
      case 0xa:  // array
        if (count > room / referenceSize_) return std::nullopt;
        object.childCount = count;
        object.children = static_cast<std::size_t>(next);
        break;
      case 0xd:  // dictionary: its keys' references, then its values'
        if (count > room / referenceSize_ / 2) return std::nullopt;
        object.childCount = 2 * count;
        object.children = static_cast<std::size_t>(next);
        break;
      default:
        break;
    }
    return object;
  }

  std::size_t referenceSize() const { return referenceSize_; }

 private:
  std::string_view document_;
  std::size_t offsetSize_ = 0;
  std::size_t referenceSize_ = 0;
  std::uint64_t count_ = 0;
  std::uint64_t root_ = 0;
  std::uint64_t tableOffset_ = 0;
};

}  // namespace

bool binaryPlistExpandsWithin(std::string_view document, std::uint64_t limit) {
  Table table(document);
  if (!table.open()) return false;

  // Each object's size, every reference below it copied, counted once and then reused: the walk
  // is as long as the table, however much the references would multiply it. An explicit stack
  // keeps a deep document from exhausting the call stack.
  enum class State : std::uint8_t { unseen, open, counted };
  std::vector<State> states(table.count(), State::unseen);
  std::vector<std::uint64_t> sizes(table.count(), 0);
  struct Frame {
    std::uint64_t index;
    Object object;
    std::uint64_t next = 0;  // the child to visit next
    std::uint64_t size = 0;  // so far, the object's own cost included
  };
  std::vector<Frame> stack;
  const auto enter = [&](std::uint64_t index) {
    const auto object = table.object(index);
    if (!object) return false;
    states[index] = State::open;
    stack.push_back({index, *object, 0, object->cost});
    return true;
  };
  if (!enter(table.root())) return false;
  while (!stack.empty()) {
    auto& frame = stack.back();
    if (frame.next < frame.object.childCount) {
      const std::uint64_t child =
          table.reference(frame.object.children + frame.next * table.referenceSize());
      ++frame.next;
      if (child >= table.count() || states[child] == State::open) return false;  // a cycle
      if (states[child] == State::unseen) {
        if (!enter(child)) return false;
        continue;
      }
      if (sizes[child] > limit - frame.size) return false;
      frame.size += sizes[child];
      continue;
    }
    if (frame.size > limit) return false;
    states[frame.index] = State::counted;
    sizes[frame.index] = frame.size;
    const std::uint64_t size = frame.size;
    stack.pop_back();
    if (!stack.empty()) {
      if (size > limit - stack.back().size) return false;
      stack.back().size += size;
    }
  }
  return true;
}

}  // namespace tarnel::launchctl
