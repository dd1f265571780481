#pragma once
// Stack entries of the column-batch evaluator and the typed views that kernels receive.
//
// An entry is untyped: a constant flag, a pointer to its first cell and, for object values, a pointer
// to the per-row reservation slots. It is one of three forms:
//   constant        one cell stands for every row (the element's operand area, or one owned cell);
//   borrowed column one cell per row, in memory someone else owns (an input column at the batch's
//                   first row, or the caller's output buffers);
//   owned column    one cell per row in the entry's own pool-charged storage; object cells are freed
//                   through the entry's deleter when the entry dies;
//   deferred column one cell per row, not computed yet: an element-wise op holding its operands, whose
//                   rows a consumer asks for a block at a time (the evaluator turns it into an owned
//                   column for every other consumer).
// The typed views (VectorEvalPopInputType, VectorEvalPopNonConstInputType, VectorEvalOutputStackEntry)
// give the cells a storage type; an entry pushed as one storage type of a width may be popped as another
// of the same width (i64 and u64, i32 and date), which is how kinds sharing a storage type stay one
// kernel.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include <nlohmann/json_fwd.hpp>

#include "base/ManagedBuffer.h"
#include "cuda/TypedRpnEvaluator.h"

namespace geos::geom {
class Geometry;
}

namespace vela::cuda {

// Object values are defined in ManagedObjects.h; the frame only needs their names to tell object cells
// and output handles from plain cells, so that scalar families do not compile the object headers.
template <class T>
class InlineBuffer;
class EvalOutputString;
class EvalOutputVector;
class EvalOutputJson;
class EvalOutputGeometry;
template <class H>
class VectorEvalOutputObjectArray;

/// Object cells (pointers to strings, vectors, JSON values, geometries) and the handle type through which
/// results of each kind are written.
template <class Cell>
struct ObjectCellTraits {
  static constexpr bool isObject = false;
};
template <>
struct ObjectCellTraits<const InlineBuffer<char>*> {
  static constexpr bool isObject = true;
  using Handle = EvalOutputString;
};
template <>
struct ObjectCellTraits<const InlineBuffer<float>*> {
  static constexpr bool isObject = true;
  using Handle = EvalOutputVector;
};
template <>
struct ObjectCellTraits<const nlohmann::json*> {
  static constexpr bool isObject = true;
  using Handle = EvalOutputJson;
};
template <>
struct ObjectCellTraits<const geos::geom::Geometry*> {
  static constexpr bool isObject = true;
  using Handle = EvalOutputGeometry;
};
template <class Cell>
inline constexpr bool isObjectCell = ObjectCellTraits<Cell>::isObject;
template <class Cell>
using ObjectHandleOf = typename ObjectCellTraits<Cell>::Handle;

template <class T>
inline constexpr bool isObjectHandle =
    std::is_same_v<T, EvalOutputString> || std::is_same_v<T, EvalOutputVector> ||
    std::is_same_v<T, EvalOutputJson> || std::is_same_v<T, EvalOutputGeometry>;

/// A value of N bytes with no arithmetic of its own: the storage of u128, dec128 (12 bytes) and the
/// fixed-width text types of 16 bytes and more. Alignment 1, so a column of them is densely packed.
template <std::size_t N>
struct fixed_array_t {
  unsigned char bytes[N];
  friend bool operator==(const fixed_array_t&, const fixed_array_t&) = default;
};

/// The unsigned integer or fixed array that holds a cell of `Width` bytes. Loads, constants and copies
/// move cells by width only, so one instantiation serves every type of that width.
template <std::size_t Width>
struct CellOfWidth {
  using type = fixed_array_t<Width>;
};
template <>
struct CellOfWidth<1> {
  using type = std::uint8_t;
};
template <>
struct CellOfWidth<2> {
  using type = std::uint16_t;
};
template <>
struct CellOfWidth<4> {
  using type = std::uint32_t;
};
template <>
struct CellOfWidth<8> {
  using type = std::uint64_t;
};
template <std::size_t Width>
using cell_of_width_t = typename CellOfWidth<Width>::type;

/// Scratch columns kept by one evaluator (one per thread of a call) for its consecutive batches, so that
/// later batches reuse the pool-charged cells of the earlier ones instead of allocating (and charging
/// the shared pool) once per intermediate per batch. Holds at most kCapacity idle columns; a column
/// given back beyond that is freed. Idle columns stay charged to their pool until the scratch is
/// destroyed, which the call does before it returns, so a call still leaves the pool as it found it.
///
/// Single-threaded: a scratch and the entries that draw from it belong to one thread's evaluator.
class VectorEvalScratch {
public:
  static constexpr std::size_t kCapacity = 8;

  VectorEvalScratch() = default;
  VectorEvalScratch(const VectorEvalScratch&) = delete;
  VectorEvalScratch& operator=(const VectorEvalScratch&) = delete;

  /// `bytes` bytes: an idle column with room for them if there is one, else a new (zeroed) one, freeing
  /// one idle column that was too small. A reused
  /// column still holds the cells of the intermediate it last held: it is the output column of a kernel,
  /// and every kernel writes every cell of its output, so it is not cleared.
  ManagedBuffer<unsigned char> take(std::size_t bytes) {
    for (std::size_t i = m_idle; i-- > 0;)
      if (m_columns[i].capacity() >= bytes) {
        ManagedBuffer<unsigned char> column = std::move(m_columns[i]);
        m_columns[i] = std::move(m_columns[--m_idle]);
        column.resizeForOverwrite(bytes);
        return column;
      }
    // None is large enough (a later batch of the thread is longer than its first): give one back
    // before charging a larger one, so that idle columns too small to be reused do not pile up.
    if (m_idle != 0)
      m_columns[--m_idle].clear();
    return ManagedBuffer<unsigned char>(bytes);
  }
  /// Keeps `column` for a later take(); frees it when the scratch is full.
  void give(ManagedBuffer<unsigned char>&& column) noexcept {
    if (m_idle < kCapacity && column.capacity() != 0)
      m_columns[m_idle++] = std::move(column);
    else
      column.clear();
  }
  std::size_t idleColumns() const noexcept { return m_idle; }
  /// Bytes the idle columns hold charged.
  std::size_t idleBytes() const noexcept {
    std::size_t n = 0;
    for (std::size_t i = 0; i < m_idle; ++i)
      n += m_columns[i].chargedBytes();
    return n;
  }

private:
  ManagedBuffer<unsigned char> m_columns[kCapacity];
  std::size_t m_idle = 0;
};

/// A column not computed yet (see the deferred form above). Its rows are produced a block of at most
/// kBlockRows at a time, into the consumer's block buffer, so that a chain of element-wise ops passes its
/// intermediates through the core's first-level cache instead of writing and reading whole columns.
class VectorEvalDeferredColumn {
public:
  static constexpr std::size_t kBlockRows = 256;

  /// Ends a deferred column without freeing its memory (the evaluator's per-batch arena holds it).
  struct Destroy {
    void operator()(VectorEvalDeferredColumn* column) const noexcept { column->~VectorEvalDeferredColumn(); }
  };

  VectorEvalDeferredColumn(std::size_t width, unsigned depth) : m_width(width), m_depth(depth) {}
  VectorEvalDeferredColumn(const VectorEvalDeferredColumn&) = delete;
  VectorEvalDeferredColumn& operator=(const VectorEvalDeferredColumn&) = delete;
  virtual ~VectorEvalDeferredColumn() = default;

  /// Calls fn(begin, n) for the consecutive blocks that cover rows 0 .. rows - 1.
  template <class Fn>
  static void forEachBlock(std::size_t rows, Fn&& fn) {
    for (std::size_t begin = 0; begin < rows; begin += kBlockRows)
      fn(begin, rows - begin < kBlockRows ? rows - begin : kBlockRows);
  }

  /// Writes the cells of the batch's rows begin .. begin + n - 1 (n <= kBlockRows) to `cells`.
  virtual void produce(std::size_t begin, std::size_t n, void* cells) const = 0;
  /// Bytes per cell.
  std::size_t width() const noexcept { return m_width; }
  /// Deferred ops in the longest chain ending here, this one included (bounds the block buffers a
  /// produce() call nests on the stack).
  unsigned depth() const noexcept { return m_depth; }

private:
  std::size_t m_width;
  unsigned m_depth;
};

/// One slot of either evaluator stack. Move-only; moving transfers ownership of the storage and of the
/// objects the deleter frees.
class VectorEvalStackEntry {
public:
  /// Frees the owned objects of `n` object slots whose reservations are positive (and zeroes those
  /// reservations). Must not throw.
  /// A plain function pointer: entries are moved several times per element, and moving a pointer costs
  /// nothing where a std::function costs a call.
  using ObjectDeleter = void (*)(void** objects, unsigned long* reservations, unsigned long n);

  VectorEvalStackEntry() = default;
  VectorEvalStackEntry(VectorEvalStackEntry&& other) noexcept { moveFrom(other); }
  VectorEvalStackEntry& operator=(VectorEvalStackEntry&& other) noexcept {
    if (this != &other) {
      release();
      moveFrom(other);
    }
    return *this;
  }
  VectorEvalStackEntry(const VectorEvalStackEntry&) = delete;
  VectorEvalStackEntry& operator=(const VectorEvalStackEntry&) = delete;
  ~VectorEvalStackEntry() { release(); }

  /// A constant whose one cell lives at `cell` (owned by someone else, e.g. the program element).
  static VectorEvalStackEntry constantAt(const void* cell) {
    VectorEvalStackEntry e;
    e.constant = true;
    e.data = const_cast<void*>(cell);
    return e;
  }
  /// A constant owning one cell holding `value`.
  template <class T>
  static VectorEvalStackEntry ownedConstant(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    VectorEvalStackEntry e;
    e.constant = true;
    e.valueStorage.resize(sizeof(T));
    std::memcpy(e.valueStorage.data(), &value, sizeof(T));
    e.data = e.valueStorage.data();
    return e;
  }
  /// A column over cells owned by someone else; `reservations` only for object cells whose ownership
  /// is recorded there (the caller's size array).
  static VectorEvalStackEntry borrowedColumn(void* cells, unsigned long* reservations = nullptr) {
    VectorEvalStackEntry e;
    e.data = cells;
    e.aux = reservations;
    return e;
  }
  static VectorEvalStackEntry borrowedColumn(const void* cells) {
    return borrowedColumn(const_cast<void*>(cells));
  }
  /// A column owning `bytes` zeroed bytes of cells.
  static VectorEvalStackEntry ownedColumn(std::size_t bytes) {
    VectorEvalStackEntry e;
    e.valueStorage.resize(bytes);
    e.data = e.valueStorage.data();
    return e;
  }
  /// As ownedColumn, with cells drawn from `scratch` and given back to it when the entry dies. For
  /// plain cells only (no deleter): the scratch must outlive the entry.
  static VectorEvalStackEntry scratchColumn(VectorEvalScratch& scratch, std::size_t bytes) {
    VectorEvalStackEntry e;
    e.valueStorage = scratch.take(bytes);
    e.data = e.valueStorage.data();
    e.m_scratch = &scratch;
    return e;
  }

  /// A deferred column (data is null until the evaluator computes it).
  static VectorEvalStackEntry
  deferredColumn(std::unique_ptr<VectorEvalDeferredColumn, VectorEvalDeferredColumn::Destroy> column) {
    VectorEvalStackEntry e;
    e.deferred = std::move(column);
    return e;
  }

  /// True: one cell stands for every row. False: one cell per row.
  bool constant = false;
  /// First cell. Never written through for a constant that points into the program.
  void* data = nullptr;
  /// Reservation slots beside object cells (one unsigned 64-bit value per row), or null.
  unsigned long* aux = nullptr;
  /// Cells owned by the entry (charged to the pool current when the entry was made).
  ManagedBuffer<unsigned char> valueStorage;
  /// Reservation slots owned by the entry.
  ManagedBuffer<unsigned long> auxStorage;
  /// Frees owned objects; run once, over every owned slot, when the entry dies.
  ObjectDeleter deleter = nullptr;
  /// The op that computes a deferred column, with the operands it holds; null for the other forms.
  std::unique_ptr<VectorEvalDeferredColumn, VectorEvalDeferredColumn::Destroy> deferred;

private:
  void moveFrom(VectorEvalStackEntry& other) noexcept {
    constant = other.constant;
    data = std::exchange(other.data, nullptr);
    aux = std::exchange(other.aux, nullptr);
    valueStorage = std::move(other.valueStorage);
    auxStorage = std::move(other.auxStorage);
    deleter = std::exchange(other.deleter, nullptr);
    deferred = std::move(other.deferred);
    m_scratch = std::exchange(other.m_scratch, nullptr);
  }
  void release() noexcept {
    if (deleter && !valueStorage.empty())
      deleter(reinterpret_cast<void**>(valueStorage.data()), auxStorage.data(),
              valueStorage.size() / sizeof(void*));
    deleter = nullptr;
    deferred.reset();
    if (m_scratch != nullptr)
      std::exchange(m_scratch, nullptr)->give(std::move(valueStorage));
    // The buffers give their bytes back to their pools when they are destroyed or reassigned.
  }

  // Where the value storage goes back to when the entry dies, or null (freed to its pool).
  VectorEvalScratch* m_scratch = nullptr;
};

/// A constant operand as a kernel sees it: the same value for every row.
template <class T>
struct VectorEvalConstInput {
  T value;
};

/// A popped operand that may be a constant or a column: the kernel runner resolves which once per
/// batch, outside the row loop. Owns the popped entry, so the cells stay alive while the op runs.
template <class T>
class VectorEvalInputStackEntry {
public:
  using value_type = T;
  explicit VectorEvalInputStackEntry(VectorEvalStackEntry&& entry) : m_entry(std::move(entry)) {}

  bool isConstant() const { return m_entry.constant; }
  VectorEvalConstInput<T> constInput() const {
    VectorEvalConstInput<T> c;
    std::memcpy(static_cast<void*>(&c.value), m_entry.data, sizeof(T));
    return c;
  }
  const T* column() const { return static_cast<const T*>(m_entry.data); }
  /// Reservation slots (object columns that record ownership), or null.
  unsigned long* reservations() const { return m_entry.aux; }
  VectorEvalStackEntry& entry() { return m_entry; }
  const VectorEvalStackEntry& entry() const { return m_entry; }

private:
  VectorEvalStackEntry m_entry;
};

/// A popped operand that is always a column of row-count cells (a constant is expanded into an owned
/// column first). Its cells may be written in place only when the entry owns them (ownsCells): a
/// borrowed column is the caller's input or an earlier element's output.
template <class T>
class VectorEvalInputNonConstStackEntry {
public:
  using value_type = T;
  explicit VectorEvalInputNonConstStackEntry(VectorEvalStackEntry&& entry) : m_entry(std::move(entry)) {}

  static constexpr bool isConstant() { return false; }
  bool ownsCells() const { return !m_entry.valueStorage.empty(); }
  T* column() const { return static_cast<T*>(m_entry.data); }
  unsigned long* reservations() const { return m_entry.aux; }
  VectorEvalStackEntry& entry() { return m_entry; }
  const VectorEvalStackEntry& entry() const { return m_entry; }

private:
  VectorEvalStackEntry m_entry;
};

template <class T>
using VectorEvalPopInputType = VectorEvalInputStackEntry<T>;
template <class T>
using VectorEvalPopNonConstInputType = VectorEvalInputNonConstStackEntry<T>;

/// The output of an element: a writable column that becomes a stack entry when pushed. Over the caller's
/// buffers for the last value (or null-state) element, else owned. T is a plain cell type, or an output
/// handle type (EvalOutputString, ...) for object results, whose entry has reservation slots.
template <class T>
class VectorEvalOutputStackEntry {
public:
  using value_type = T;
  explicit VectorEvalOutputStackEntry(VectorEvalStackEntry&& entry) : m_entry(std::move(entry)) {}

  /// Cells of a plain output.
  T* column() const { return static_cast<T*>(m_entry.data); }
  /// What the kernel runner writes into: the cells, or for an object output (T an output handle type)
  /// the handles of the rows' object and reservation slots.
  auto view() const {
    if constexpr (isObjectHandle<T>)
      return VectorEvalOutputObjectArray<T>(static_cast<void**>(m_entry.data), m_entry.aux);
    else
      return column();
  }
  VectorEvalStackEntry& entry() { return m_entry; }
  const VectorEvalStackEntry& entry() const { return m_entry; }
  VectorEvalStackEntry release() { return std::move(m_entry); }

private:
  VectorEvalStackEntry m_entry;
};

template <class V>
inline constexpr bool isInputEntry = false;
template <class T>
inline constexpr bool isInputEntry<VectorEvalInputStackEntry<T>> = true;
template <class T>
inline constexpr bool isInputEntry<VectorEvalInputNonConstStackEntry<T>> = true;

} // namespace vela::cuda
