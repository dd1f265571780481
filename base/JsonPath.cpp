// Evaluation of compiled JSON paths.
//
// Node lists hold pointers into the document: nothing is copied until evaluate() builds its result.
// Every node produced, tested or walked counts one step against the evaluation's limit. Descendant
// walks keep an explicit stack; the only recursion is through filter expressions, whose nesting the
// parser bounds.
#include "base/JsonPath.h"

#include <cmath>
#include <compare>
#include <unordered_map>
#include <unordered_set>

#include "base/Int128.h"
#include "base/JsonPathAst.h"
#include "base/JsonValueUtils.h"

namespace vela {

namespace {

using nlohmann::json;
using namespace jsonpath;

// --- values -----------------------------------------------------------------------------------------

std::partial_ordering compareIntDouble(std::int64_t i, double d) {
  if (std::isnan(d))
    return std::partial_ordering::unordered;
  if (d >= 9223372036854775808.0)
    return std::partial_ordering::less;
  if (d < -9223372036854775808.0)
    return std::partial_ordering::greater;
  const double t = std::trunc(d);
  const auto ti = static_cast<std::int64_t>(t);
  if (i != ti)
    return i <=> ti;
  return 0.0 <=> d - t; // the fraction decides
}

std::partial_ordering compareUintDouble(std::uint64_t u, double d) {
  if (std::isnan(d))
    return std::partial_ordering::unordered;
  if (d < 0)
    return std::partial_ordering::greater;
  if (d >= 18446744073709551616.0)
    return std::partial_ordering::less;
  const double t = std::trunc(d);
  const auto tu = static_cast<std::uint64_t>(t);
  if (u != tu)
    return u <=> tu;
  return 0.0 <=> d - t;
}

std::partial_ordering flip(std::partial_ordering o) {
  return 0 <=> o;
}

// Exact comparison of two JSON numbers of any kinds.
std::partial_ordering compareNumbers(const json& a, const json& b) {
  using T = json::value_t;
  const T ta = a.type();
  const T tb = b.type();
  if (ta == T::number_float && tb == T::number_float)
    return a.get<double>() <=> b.get<double>();
  if (ta == T::number_float)
    return flip(compareNumbers(b, a));
  // a is an integer
  if (tb == T::number_float)
    return ta == T::number_integer ? compareIntDouble(a.get<std::int64_t>(), b.get<double>())
                                   : compareUintDouble(a.get<std::uint64_t>(), b.get<double>());
  if (ta == T::number_integer && tb == T::number_integer)
    return a.get<std::int64_t>() <=> b.get<std::int64_t>();
  if (ta == T::number_unsigned && tb == T::number_unsigned)
    return a.get<std::uint64_t>() <=> b.get<std::uint64_t>();
  if (ta == T::number_integer) {
    const std::int64_t i = a.get<std::int64_t>();
    return i < 0 ? std::partial_ordering::less : static_cast<std::uint64_t>(i) <=> b.get<std::uint64_t>();
  }
  return flip(compareNumbers(b, a));
}

// Deep equality, numbers by value; iterative, so that any depth is safe.
bool deepEqual(const json& a, const json& b) {
  std::vector<std::pair<const json*, const json*>> stack{{&a, &b}};
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    if (x->is_number() && y->is_number()) {
      if (compareNumbers(*x, *y) != std::partial_ordering::equivalent)
        return false;
      continue;
    }
    if (x->type() != y->type())
      return false;
    switch (x->type()) {
    case json::value_t::array:
      if (x->size() != y->size())
        return false;
      for (std::size_t i = 0; i < x->size(); ++i)
        stack.emplace_back(&(*x)[i], &(*y)[i]);
      break;
    case json::value_t::object: {
      if (x->size() != y->size())
        return false;
      auto ix = x->begin();
      auto iy = y->begin();
      for (; ix != x->end(); ++ix, ++iy) {
        if (ix.key() != iy.key())
          return false;
        stack.emplace_back(&ix.value(), &iy.value());
      }
      break;
    }
    default:
      if (*x != *y)
        return false;
    }
  }
  return true;
}

// A filter operand of value type: Nothing, a node of the document or literal, or a computed value.
class Val {
public:
  Val() = default;
  static Val of(const json* p) {
    Val v;
    v.m_ptr = p;
    return v;
  }
  static Val own(json j) {
    Val v;
    v.m_owned = std::move(j);
    v.m_isOwned = true;
    return v;
  }
  const json* get() const { return m_isOwned ? &m_owned : m_ptr; }

private:
  const json* m_ptr = nullptr;
  json m_owned;
  bool m_isOwned = false;
};

bool equalValues(const json* a, const json* b) {
  if (a == nullptr || b == nullptr)
    return a == b; // Nothing equals only Nothing
  return deepEqual(*a, *b);
}

bool lessValue(const json* a, const json* b) {
  if (a == nullptr || b == nullptr)
    return false;
  if (a->is_number() && b->is_number())
    return compareNumbers(*a, *b) == std::partial_ordering::less;
  if (a->is_string() && b->is_string())
    return a->get_ref<const std::string&>() <
           b->get_ref<const std::string&>(); // UTF-8 bytes sort as code points
  return false;
}

std::size_t codePoints(const std::string& s) {
  std::size_t n = 0;
  for (const char c : s)
    n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// Sum of an array of numbers: exact while every term is an integer (a 128-bit total cannot overflow
// for any array that fits in memory), kept integral when the total fits 64 bits, else a double.
Val sumOf(const json& a) {
  int128_t isum = 0;
  double dsum = 0;
  bool exact = true;
  for (const json& x : a) {
    if (!x.is_number())
      return {};
    if (x.is_number_unsigned())
      isum += x.get<std::uint64_t>();
    else if (x.is_number_integer())
      isum += x.get<std::int64_t>();
    else
      exact = false, dsum += x.get<double>();
  }
  if (exact && isum >= INT64_MIN && isum <= INT64_MAX)
    return Val::own(json(static_cast<std::int64_t>(isum)));
  if (exact && isum > 0 && isum <= static_cast<int128_t>(UINT64_MAX))
    return Val::own(json(static_cast<std::uint64_t>(isum)));
  return Val::own(json(dsum + static_cast<double>(isum)));
}

// A JSON number text (nothing around it) as a number.
Val numberFromText(const std::string& s) {
  if (s.empty() || !(s[0] == '-' || (s[0] >= '0' && s[0] <= '9')) || !(s.back() >= '0' && s.back() <= '9'))
    return {}; // every JSON number starts with '-' or a digit and ends with a digit: no blanks around
  json v = json::parse(s, nullptr, false);
  if (v.is_discarded() || !v.is_number())
    return {};
  return Val::own(std::move(v));
}

// The child a name or index selector picks, or null.
const json* child(const json& v, const Selector& sel) {
  if (sel.kind == Selector::Kind::Name) {
    if (!v.is_object())
      return nullptr;
    const auto& members = v.get_ref<const json::object_t&>();
    const auto it = members.find(sel.name);
    return it == members.end() ? nullptr : &it->second;
  }
  if (!v.is_array())
    return nullptr;
  const auto len = static_cast<std::int64_t>(v.size());
  const std::int64_t i = sel.index < 0 ? len + sel.index : sel.index;
  return i < 0 || i >= len ? nullptr : &v[static_cast<std::size_t>(i)];
}

[[noreturn]] [[gnu::noinline, gnu::cold]] void throwStepLimit(std::size_t limit) {
  throw VelaException(VelaWhat::ResourceExhausted,
                      "JSON path evaluation exceeds the limit of " + std::to_string(limit) + " steps");
}

// --- the evaluator ----------------------------------------------------------------------------------

struct Loc {
  std::uint32_t parent;
  std::size_t index;
  const std::string* key; // null for an array element
};

struct Node {
  const json* value;
  std::uint32_t loc;
};
using NodeList = std::vector<Node>;

class Evaluator {
public:
  Evaluator(const json& root, std::size_t limit, bool track) : m_root(root), m_limit(limit), m_track(track) {
    if (m_track)
      m_locs.push_back({0, 0, nullptr});
  }

  void run(const Query& query, const json& current, NodeList& out) {
    NodeList in{{query.absolute ? &m_root : &current, 0}};
    NodeList next;
    for (const Segment& seg : query.segments) {
      next.clear();
      applySegment(seg, in, next);
      in.swap(next);
      if (in.empty())
        break;
    }
    out = std::move(in);
  }

  /// Whether the query selects anything, stopping at the first match found. The leading names and
  /// indexes are followed without node lists, and a last plain segment is only tested, so that the
  /// usual `$.a[?(...)]` allocates nothing and stops at its first passing element.
  bool any(const Query& query, const json& current) {
    const json* v = query.absolute ? &m_root : &current;
    const std::size_t n = query.segments.size();
    std::size_t i = 0;
    for (; i < n; ++i) {
      const Segment& seg = query.segments[i];
      if (seg.descendant || seg.selectors.size() != 1)
        break;
      const Selector& sel = seg.selectors[0];
      if (sel.kind != Selector::Kind::Name && sel.kind != Selector::Kind::Index)
        break;
      step();
      v = child(*v, sel);
      if (v == nullptr)
        return false;
    }
    if (i == n)
      return true;
    if (i + 1 == n && !query.segments[i].descendant) {
      for (const Selector& sel : query.segments[i].selectors)
        if (selectsAny(sel, *v))
          return true;
      return false;
    }
    // The general case: depth first over (node, next segment), each node through the segments that
    // remain; any node past the last segment is a match.
    std::vector<std::pair<const json*, std::size_t>> stack{{v, i}};
    NodeList in, out;
    while (!stack.empty()) {
      const auto [node, at] = stack.back();
      stack.pop_back();
      if (at == n)
        return true;
      in.assign(1, Node{node, 0});
      out.clear();
      applySegment(query.segments[at], in, out);
      for (auto it = out.rbegin(); it != out.rend(); ++it)
        stack.emplace_back(it->value, at + 1);
    }
    return false;
  }

  std::string path(std::uint32_t loc) const {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t l = loc; l != 0; l = m_locs[l].parent)
      chain.push_back(l);
    std::string s = "$";
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const Loc& l = m_locs[*it];
      if (l.key == nullptr) {
        s += '[' + std::to_string(l.index) + ']';
        continue;
      }
      s += "['";
      for (const char c : *l.key) {
        switch (c) {
        case '\'':
          s += "\\'";
          break;
        case '\\':
          s += "\\\\";
          break;
        case '\b':
          s += "\\b";
          break;
        case '\f':
          s += "\\f";
          break;
        case '\n':
          s += "\\n";
          break;
        case '\r':
          s += "\\r";
          break;
        case '\t':
          s += "\\t";
          break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            s += "\\u00";
            s += kHex[(c >> 4) & 0xF];
            s += kHex[c & 0xF];
          } else {
            s += c;
          }
        }
      }
      s += "']";
    }
    return s;
  }

  /// Charges one step per node of `v` (the cost of copying it), stopping at the limit.
  void chargeNodes(const json& v) {
    std::vector<const json*> stack{&v};
    while (!stack.empty()) {
      const json* x = stack.back();
      stack.pop_back();
      step();
      if (x->is_structured())
        for (const json& c : *x)
          stack.push_back(&c);
    }
  }

private:
  void step() {
    if (++m_steps > m_limit)
      throwLimit();
  }

  [[noreturn]] void throwLimit() const { throwStepLimit(m_limit); }

  std::uint32_t childLoc(std::uint32_t parent, std::size_t index, const std::string* key) {
    if (!m_track)
      return 0;
    if (m_locs.size() > UINT32_MAX - 1) // only with a step limit beyond four billion
      throw VelaException(VelaWhat::ResourceExhausted, "JSON path evaluation exceeds the limit of "
                                                       "4294967295 located nodes");
    m_locs.push_back({parent, index, key});
    return static_cast<std::uint32_t>(m_locs.size() - 1);
  }

  [[gnu::noinline]] void push(NodeList& out, const json& value, std::uint32_t parent, std::size_t index,
                              const std::string* key) {
    step();
    out.push_back({&value, childLoc(parent, index, key)});
  }

  void applySegment(const Segment& seg, const NodeList& in, NodeList& out) {
    if (!seg.descendant) {
      for (const Node& n : in)
        for (const Selector& sel : seg.selectors)
          applySelector(sel, n, out);
      return;
    }
    applyDescendants(seg, in, out);
  }

  // The node, then its descendants, each before its own descendants and in document order.
  [[gnu::noinline]] void applyDescendants(const Segment& seg, const NodeList& in, NodeList& out) {
    NodeList stack;
    for (const Node& start : in) {
      stack.push_back(start);
      while (!stack.empty()) {
        const Node n = stack.back();
        stack.pop_back();
        step();
        for (const Selector& sel : seg.selectors)
          applySelector(sel, n, out);
        const json& v = *n.value;
        if (v.is_array()) {
          for (std::size_t i = v.size(); i-- > 0;)
            stack.push_back({&v[i], childLoc(n.loc, i, nullptr)});
        } else if (v.is_object()) {
          const auto& members = v.get_ref<const json::object_t&>();
          for (auto it = members.rbegin(); it != members.rend(); ++it)
            stack.push_back({&it->second, childLoc(n.loc, 0, &it->first)});
        }
      }
    }
  }

  void applySelector(const Selector& sel, const Node& n, NodeList& out) {
    const json& v = *n.value;
    switch (sel.kind) {
    case Selector::Kind::Name:
      if (v.is_object()) {
        const auto& members = v.get_ref<const json::object_t&>();
        if (auto it = members.find(sel.name); it != members.end())
          push(out, it->second, n.loc, 0, &it->first);
      }
      return;
    case Selector::Kind::Wildcard:
      if (v.is_array()) {
        for (std::size_t i = 0; i < v.size(); ++i)
          push(out, v[i], n.loc, i, nullptr);
      } else if (v.is_object()) {
        for (const auto& [key, member] : v.get_ref<const json::object_t&>())
          push(out, member, n.loc, 0, &key);
      }
      return;
    case Selector::Kind::Index:
      if (v.is_array()) {
        const auto len = static_cast<std::int64_t>(v.size());
        const std::int64_t i = sel.index < 0 ? len + sel.index : sel.index;
        if (i >= 0 && i < len)
          push(out, v[static_cast<std::size_t>(i)], n.loc, static_cast<std::size_t>(i), nullptr);
      }
      return;
    case Selector::Kind::Slice:
      if (v.is_array())
        applySlice(sel, n, out);
      return;
    case Selector::Kind::Filter:
      if (v.is_array()) {
        for (std::size_t i = 0; i < v.size(); ++i)
          if (passes(*sel.filter, v[i]))
            push(out, v[i], n.loc, i, nullptr);
      } else if (v.is_object()) {
        for (const auto& [key, member] : v.get_ref<const json::object_t&>())
          if (passes(*sel.filter, member))
            push(out, member, n.loc, 0, &key);
      }
      return;
    }
  }

  // Bounds and indexes stay within +-2^54 (|bounds| < 2^53, so no sum below overflows).
  [[gnu::noinline]] void applySlice(const Selector& sel, const Node& n, NodeList& out) {
    const json& v = *n.value;
    const auto len = static_cast<std::int64_t>(v.size());
    const std::int64_t step = sel.step;
    if (step == 0)
      return;
    const auto normalize = [len](std::int64_t i) { return i >= 0 ? i : len + i; };
    if (step > 0) {
      const std::int64_t lower = std::clamp<std::int64_t>(sel.start ? normalize(*sel.start) : 0, 0, len);
      const std::int64_t upper = std::clamp<std::int64_t>(sel.end ? normalize(*sel.end) : len, 0, len);
      for (std::int64_t i = lower; i < upper; i += step)
        push(out, v[static_cast<std::size_t>(i)], n.loc, static_cast<std::size_t>(i), nullptr);
    } else {
      const std::int64_t upper =
          std::clamp<std::int64_t>(sel.start ? normalize(*sel.start) : len - 1, -1, len - 1);
      const std::int64_t lower =
          std::clamp<std::int64_t>(sel.end ? normalize(*sel.end) : -len - 1, -1, len - 1);
      for (std::int64_t i = upper; lower < i; i += step)
        push(out, v[static_cast<std::size_t>(i)], n.loc, static_cast<std::size_t>(i), nullptr);
    }
  }

  // Whether one selector picks anything from `v`; a filter stops at its first passing child. Steps are
  // charged as applySelector charges them, up to the match.
  bool selectsAny(const Selector& sel, const json& v) {
    switch (sel.kind) {
    case Selector::Kind::Name:
    case Selector::Kind::Index:
      if (child(v, sel) == nullptr)
        return false;
      step();
      return true;
    case Selector::Kind::Wildcard:
      if (!v.is_structured() || v.empty())
        return false;
      step();
      return true;
    case Selector::Kind::Slice: {
      if (!v.is_array())
        return false;
      NodeList out;
      applySlice(sel, Node{&v, 0}, out);
      return !out.empty();
    }
    case Selector::Kind::Filter:
      if (v.is_array()) {
        for (const json& e : v.get_ref<const json::array_t&>())
          if (passes(*sel.filter, e)) {
            step();
            return true;
          }
      } else if (v.is_object()) {
        for (const auto& [key, member] : v.get_ref<const json::object_t&>())
          if (passes(*sel.filter, member)) {
            step();
            return true;
          }
      }
      return false;
    }
    return false;
  }

  // --- filters --------------------------------------------------------------------------------------

  bool passes(const Expr& filter, const json& current) {
    step();
    const bool track = m_track;
    m_track = false; // queries inside filters never report paths
    const bool result = test(filter, current);
    m_track = track;
    return result;
  }

  // A singular query followed without node lists; null when it selects nothing.
  const json* navigate(const Query& query, const json& current) {
    const json* v = query.absolute ? &m_root : &current;
    for (const Segment& seg : query.segments) {
      step();
      v = child(*v, seg.selectors[0]);
      if (v == nullptr)
        return nullptr;
    }
    return v;
  }

  bool test(const Expr& e, const json& current) {
    switch (e.kind) {
    case Expr::Kind::Or:
      for (const auto& c : e.children)
        if (test(*c, current))
          return true;
      return false;
    case Expr::Kind::And:
      for (const auto& c : e.children)
        if (!test(*c, current))
          return false;
      return true;
    case Expr::Kind::Not:
      return !test(*e.children[0], current);
    case Expr::Kind::Compare:
      return compare(e, current);
    case Expr::Kind::RegexTest:
      return regexTest(e, current);
    case Expr::Kind::Query:
      return exists(e.query, current);
    case Expr::Kind::Function:
      return callLogical(e, current);
    case Expr::Kind::Literal:
      break; // refused by the parser
    }
    return false;
  }

  // The branches of test() stay out of line: filters recurse through test(), and every level would
  // otherwise carry the locals of all of them.
  [[gnu::noinline]] bool compare(const Expr& e, const json& current) {
    const Expr& l = *e.children[0];
    const Expr& r = *e.children[1];
    // `@ <op> literal` (either way round), the commonest filter: same-kind scalars compare directly.
    if (l.kind == Expr::Kind::Literal && isCurrent(r))
      return compareScalars(e.op, l.literal, current);
    if (r.kind == Expr::Kind::Literal && isCurrent(l))
      return compareScalars(e.op, current, r.literal);
    // Literals and queries are nodes already: the usual `@.x > 5` needs no value holders.
    if (l.kind != Expr::Kind::Function && r.kind != Expr::Kind::Function)
      return compareValues(e.op, operandNode(l, current), operandNode(r, current));
    const Val a = value(l, current);
    const Val b = value(r, current);
    return compareValues(e.op, a.get(), b.get());
  }

  // A literal or a query operand (else Nothing).
  const json* operandNode(const Expr& e, const json& current) {
    if (e.kind == Expr::Kind::Literal)
      return &e.literal;
    return e.kind == Expr::Kind::Query ? navigate(e.query, current) : nullptr;
  }

  static bool isCurrent(const Expr& e) {
    return e.kind == Expr::Kind::Query && !e.query.absolute && e.query.segments.empty();
  }

  template <class T>
  static bool ordered(CompareOp op, const T& a, const T& b) {
    switch (op) {
    case CompareOp::Eq:
      return a == b;
    case CompareOp::Ne:
      return !(a == b);
    case CompareOp::Lt:
      return a < b;
    case CompareOp::Le:
      return a <= b;
    case CompareOp::Gt:
      return a > b;
    case CompareOp::Ge:
      return a >= b;
    }
    return false;
  }

  // Same-kind integers, floats and strings directly, with the results compareValues gives them (a NaN,
  // which a document built from a float column can hold, is unordered: only != holds); every other
  // pair the general way.
  static bool compareScalars(CompareOp op, const json& a, const json& b) {
    using T = json::value_t;
    const T t = a.type();
    if (t == b.type()) {
      if (t == T::number_integer)
        return ordered(op, a.get_ref<const json::number_integer_t&>(),
                       b.get_ref<const json::number_integer_t&>());
      if (t == T::number_float)
        return ordered(op, a.get_ref<const json::number_float_t&>(),
                       b.get_ref<const json::number_float_t&>());
      if (t == T::string)
        return ordered(op, a.get_ref<const std::string&>(), b.get_ref<const std::string&>());
    }
    return compareValues(op, &a, &b);
  }

  static bool compareValues(CompareOp op, const json* a, const json* b) {
    switch (op) {
    case CompareOp::Eq:
      return equalValues(a, b);
    case CompareOp::Ne:
      return !equalValues(a, b);
    case CompareOp::Lt:
      return lessValue(a, b);
    case CompareOp::Le:
      return lessValue(a, b) || equalValues(a, b);
    case CompareOp::Gt:
      return lessValue(b, a);
    case CompareOp::Ge:
      return lessValue(b, a) || equalValues(a, b);
    }
    return false;
  }

  [[gnu::noinline]] bool regexTest(const Expr& e, const json& current) {
    const Val a = value(*e.children[0], current);
    return a.get() != nullptr && a.get()->is_string() &&
           regexSearch(*e.regex, a.get()->get_ref<const std::string&>());
  }

  [[gnu::noinline]] bool exists(const Query& query, const json& current) { return any(query, current); }

  Val value(const Expr& e, const json& current) {
    switch (e.kind) {
    case Expr::Kind::Literal:
      return Val::of(&e.literal);
    case Expr::Kind::Query:
      return Val::of(navigate(e.query, current));
    case Expr::Kind::Function:
      return callValue(e, current);
    default:
      return {}; // refused by the parser
    }
  }

  void nodes(const Expr& e, const json& current, NodeList& out) {
    if (e.kind == Expr::Kind::Query)
      run(e.query, current, out);
  }

  // The pattern of a regular-expression function: compiled with the call when it is a literal, else
  // taken from the operand (a small cache keeps repeated patterns compiled).
  [[gnu::noinline]] const Regex* pattern(const Expr& e, const json& current, bool iRegexp) {
    if (e.hasRegex)
      return e.regex.get();
    const Val p = value(*e.children[1], current);
    if (p.get() == nullptr || !p.get()->is_string())
      return nullptr;
    std::string key = p.get()->get_ref<const std::string&>();
    key.insert(key.begin(), iRegexp ? 'I' : 'R');
    if (auto it = m_regexCache.find(key); it != m_regexCache.end())
      return it->second.get();
    if (m_regexCache.size() >= 64)
      m_regexCache.clear();
    const std::string_view text = std::string_view(key).substr(1);
    auto re = iRegexp ? compileIRegexp(text) : compileRegex(text, false, nullptr);
    return m_regexCache.emplace(std::move(key), std::move(re)).first->second.get();
  }

  [[gnu::noinline]] bool callLogical(const Expr& e, const json& current) {
    const Val a = value(*e.children[0], current);
    const json* x = a.get();
    switch (e.function->id) {
    case FunctionId::Match:
    case FunctionId::Search: {
      if (x == nullptr || !x->is_string())
        return false;
      const Regex* re = pattern(e, current, true);
      if (re == nullptr)
        return false;
      const std::string& s = x->get_ref<const std::string&>();
      return e.function->id == FunctionId::Match ? regexFullMatch(*re, s) : regexSearch(*re, s);
    }
    case FunctionId::StartsWith:
    case FunctionId::EndsWith: {
      const Val b = value(*e.children[1], current);
      const json* y = b.get();
      if (x == nullptr || y == nullptr || !x->is_string() || !y->is_string())
        return false;
      const std::string_view s = x->get_ref<const std::string&>();
      const std::string_view t = y->get_ref<const std::string&>();
      return e.function->id == FunctionId::StartsWith ? s.starts_with(t) : s.ends_with(t);
    }
    case FunctionId::Contains: {
      const Val b = value(*e.children[1], current);
      const json* y = b.get();
      if (x == nullptr || y == nullptr)
        return false;
      if (x->is_string())
        return y->is_string() &&
               x->get_ref<const std::string&>().find(y->get_ref<const std::string&>()) != std::string::npos;
      if (x->is_array()) {
        for (const json& element : *x) {
          step();
          if (deepEqual(element, *y))
            return true;
        }
      }
      return false;
    }
    default:
      return false; // no other function has a logical result
    }
  }

  Val callValue(const Expr& e, const json& current) {
    if (e.function->id == FunctionId::Count || e.function->id == FunctionId::Value)
      return callOnNodes(e, current);
    return callOnValue(e, current);
  }

  [[gnu::noinline]] Val callOnNodes(const Expr& e, const json& current) {
    NodeList list;
    nodes(*e.children[0], current, list);
    if (e.function->id == FunctionId::Count)
      return Val::own(json(static_cast<std::int64_t>(list.size())));
    return list.size() == 1 ? Val::of(list[0].value) : Val();
  }

  Val callOnValue(const Expr& e, const json& current) {
    return applyFunction(e, current, value(*e.children[0], current));
  }

  // The functions of one value argument, given its value `a`.
  [[gnu::noinline]] Val applyFunction(const Expr& e, const json& current, Val a) {
    const json* x = a.get();
    if (x == nullptr)
      return {};
    switch (e.function->id) {
    case FunctionId::Length:
      if (x->is_string())
        return Val::own(json(static_cast<std::int64_t>(codePoints(x->get_ref<const std::string&>()))));
      if (x->is_array() || x->is_object())
        return Val::own(json(static_cast<std::int64_t>(x->size())));
      return {};
    case FunctionId::Sum:
      return x->is_array() ? sumOf(*x) : Val();
    case FunctionId::Avg: {
      if (!x->is_array() || x->empty())
        return {};
      double total = 0;
      for (const json& element : *x) {
        if (!element.is_number())
          return {};
        total += element.get<double>();
      }
      return Val::own(json(total / static_cast<double>(x->size())));
    }
    case FunctionId::Min:
    case FunctionId::Max: {
      if (!x->is_array() || x->empty())
        return {};
      const bool numbers = (*x)[0].is_number();
      const json* best = nullptr;
      for (const json& element : *x) {
        if (numbers ? !element.is_number() : !element.is_string())
          return {};
        if (best == nullptr ||
            (e.function->id == FunctionId::Min ? lessValue(&element, best) : lessValue(best, &element)))
          best = &element;
      }
      return Val::own(*best); // a scalar: cheap, and safe when the array is a temporary
    }
    case FunctionId::Abs:
      if (x->is_number_unsigned())
        return a;
      if (x->is_number_integer()) {
        const std::int64_t i = x->get<std::int64_t>();
        // |INT64_MIN| needs the unsigned kind.
        if (i >= 0)
          return a;
        return Val::own(json(std::uint64_t{0} - static_cast<std::uint64_t>(i)));
      }
      if (x->is_number_float())
        return Val::own(json(std::fabs(x->get<double>())));
      return {};
    case FunctionId::Ceil:
    case FunctionId::Floor:
      if (x->is_number_integer())
        return a;
      if (x->is_number_float()) {
        const double d = x->get<double>();
        return Val::own(json(e.function->id == FunctionId::Ceil ? std::ceil(d) : std::floor(d)));
      }
      return {};
    case FunctionId::Keys: {
      if (!x->is_object())
        return {};
      json keys = json::array();
      for (const auto& [key, member] : x->get_ref<const json::object_t&>()) {
        step();
        keys.push_back(key);
      }
      return Val::own(std::move(keys));
    }
    case FunctionId::ToNumber:
      if (x->is_number())
        return a;
      return x->is_string() ? numberFromText(x->get_ref<const std::string&>()) : Val();
    case FunctionId::Tokenize: {
      if (!x->is_string())
        return {};
      const Regex* re = pattern(e, current, false);
      if (re == nullptr)
        return {};
      json pieces = json::array();
      regexSplit(*re, x->get_ref<const std::string&>(), pieces);
      return Val::own(std::move(pieces));
    }
    default:
      return {};
    }
  }

  const json& m_root;
  std::size_t m_limit;
  std::size_t m_steps = 0;
  bool m_track;
  std::vector<Loc> m_locs;
  std::unordered_map<std::string, std::shared_ptr<const Regex>> m_regexCache;
};

} // namespace

Status JsonPath::tryCompile(std::string_view text, JsonPath& out) {
  auto program = std::make_shared<Program>();
  std::string error;
  if (!parse(text, *program, error))
    return Status(StatusEnum::InvalidArgument, std::move(error));
  program->singular = program->query.singular();
  out.m_program = std::move(program);
  return {};
}

JsonPath JsonPath::compile(std::string_view text) {
  JsonPath path;
  Status status = tryCompile(text, path);
  if (!status.ok())
    throw VelaException(VelaWhat::Evaluation, "", std::move(status));
  return path;
}

const std::string& JsonPath::text() const noexcept {
  static const std::string kEmpty;
  return m_program ? m_program->text : kEmpty;
}

bool JsonPath::isSingular() const noexcept {
  return m_program && m_program->singular;
}

json JsonPath::evaluate(const json& root, std::size_t stepLimit) const {
  json result = json::array();
  if (!m_program)
    return result;
  Evaluator evaluator(root, stepLimit, false);
  NodeList nodes;
  evaluator.run(m_program->query, root, nodes);
  auto& elements = result.get_ref<json::array_t&>();
  elements.reserve(nodes.size());
  for (const Node& n : nodes) {
    evaluator.chargeNodes(*n.value); // copies count: many overlapping matches would copy a lot
    elements.push_back(JsonValueUtils::copyJson(*n.value));
  }
  return result;
}

std::vector<const json*> JsonPath::select(const json& root, std::size_t stepLimit) const {
  std::vector<const json*> matches;
  if (!m_program)
    return matches;
  Evaluator evaluator(root, stepLimit, false);
  NodeList nodes;
  evaluator.run(m_program->query, root, nodes);
  matches.reserve(nodes.size());
  for (const Node& n : nodes)
    matches.push_back(n.value);
  return matches;
}

JsonPath::MatchSummary JsonPath::summarize(const json& root, std::size_t stepLimit) const {
  MatchSummary summary;
  if (!m_program)
    return summary;
  if (m_program->singular) {
    // Followed here without an evaluator, one step per segment as the evaluator charges them.
    const json* v = &root;
    std::size_t steps = 0;
    for (const Segment& seg : m_program->query.segments) {
      if (++steps > stepLimit)
        throwStepLimit(stepLimit);
      if ((v = child(*v, seg.selectors[0])) == nullptr)
        return summary;
    }
    summary.first = v;
    summary.count = 1;
    return summary;
  }
  Evaluator evaluator(root, stepLimit, false);
  NodeList nodes;
  evaluator.run(m_program->query, root, nodes);
  summary.count = nodes.size();
  if (!nodes.empty())
    summary.first = nodes.front().value;
  return summary;
}

bool JsonPath::exists(const json& root, std::size_t stepLimit) const {
  if (!m_program)
    return false;
  Evaluator evaluator(root, stepLimit, false);
  return evaluator.any(m_program->query, root);
}

std::vector<std::string> JsonPath::normalizedPaths(const json& root, std::size_t stepLimit) const {
  std::vector<std::string> paths;
  if (!m_program)
    return paths;
  Evaluator evaluator(root, stepLimit, true);
  NodeList nodes;
  evaluator.run(m_program->query, root, nodes);
  paths.reserve(nodes.size());
  for (const Node& n : nodes)
    paths.push_back(evaluator.path(n.loc));
  return paths;
}

json JsonPath::replace(const json& root, const json& replacement, std::size_t stepLimit) const {
  if (!m_program)
    return JsonValueUtils::copyJson(root);
  Evaluator evaluator(root, stepLimit, false);
  NodeList nodes;
  evaluator.run(m_program->query, root, nodes);
  std::unordered_set<const json*> matched;
  for (const Node& n : nodes)
    matched.insert(n.value);
  // Every copy of the replacement counts (the copy of the rest of the document is as large as the
  // input and is not charged).
  for (std::size_t i = 0; i < matched.size(); ++i)
    evaluator.chargeNodes(replacement);
  // A copy built with an explicit stack; a matched node is not entered but replaced.
  json result;
  std::vector<std::pair<const json*, json*>> stack{{&root, &result}};
  while (!stack.empty()) {
    const auto [src, dst] = stack.back();
    stack.pop_back();
    if (matched.count(src) != 0) {
      *dst = JsonValueUtils::copyJson(replacement);
    } else if (src->is_array()) {
      *dst = json::array();
      auto& elements = dst->get_ref<json::array_t&>();
      elements.resize(src->size()); // sized once: the element addresses stay valid
      for (std::size_t i = 0; i < src->size(); ++i)
        stack.emplace_back(&(*src)[i], &elements[i]);
    } else if (src->is_object()) {
      *dst = json::object();
      auto& members = dst->get_ref<json::object_t&>();
      for (const auto& [key, member] : src->get_ref<const json::object_t&>())
        stack.emplace_back(&member, &members[key]); // map nodes do not move
    } else {
      *dst = *src;
    }
  }
  return result;
}

} // namespace vela
