// The text a failing case is reported in must replay it: the one-line form pasted after quarry-eval -e
// assembles to the same program as the multi-line file, and quarry-eval over the printed CSV gives the
// rows the runner saw.
#include <cstdio>
#include <sstream>

#include "RelSupport.h"
#include "base/ProgramBuilder.h"
#include "base/VelaRegexp.h"
#include "cuda/ManagedObjects.h"
#include "tools/EvalCommand.h"

namespace quarry::test {
namespace {

using vela::ParserUtils::RpnDataType;
using vela::ParserUtils::TypedRpnElement;

// The contents of an object of `type` (strings, vectors, JSON; a geometry's pointer equality is enough to
// tell that both were read as objects).
std::string objectText(RpnDataType t, const void* p) {
  if (p == nullptr)
    return "null";
  switch (t) {
  case RpnDataType::String:
  case RpnDataType::String2:
    return std::string(static_cast<const vela::cuda::InlineBuffer<char>*>(p)->view());
  case RpnDataType::Vector: {
    const auto* v = static_cast<const vela::cuda::InlineBuffer<float>*>(p);
    return std::string(reinterpret_cast<const char*>(v->data()), v->size() * 4);
  }
  case RpnDataType::Json:
  case RpnDataType::Array:
    return static_cast<const vela::cuda::JsonValue*>(p)->dump();
  default:
    return "object";
  }
}

// Where two assemblies of one text differ (empty: nowhere). Pointers to constants differ between
// assemblies; what they point at must not.
std::string firstDifference(const std::vector<TypedRpnElement>& a, const std::vector<TypedRpnElement>& b) {
  if (a.size() != b.size())
    return std::to_string(a.size()) + " elements against " + std::to_string(b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::string at = "element " + std::to_string(i) + ": ";
    if (a[i].op != b[i].op)
      return at + "op";
    if (std::memcmp(&a[i].info, &b[i].info, sizeof a[i].info) != 0)
      return at + "eval info";
    const auto* op = vela::ParserUtils::opInfo(a[i].op);
    const std::string name = op->name;
    if (op->result == RpnDataType::List && a[i].op <= 100) {
      const auto* x = a[i].operandAs<const vela::ParserUtils::TypedVec*>();
      const auto* y = b[i].operandAs<const vela::ParserUtils::TypedVec*>();
      const std::size_t w = a[i].get_type_size();
      if (x->count != y->count || (x->aux == nullptr) != (y->aux == nullptr) ||
          (x->aux && std::memcmp(x->aux, y->aux, x->count * 4) != 0))
        return at + "list";
      // Object items are pointers to objects of their own: compare what they hold.
      const RpnDataType items = op->listElement;
      for (std::uint32_t k = 0; k < x->count; ++k) {
        const auto* xv = static_cast<const unsigned char*>(x->values) + k * w;
        const auto* yv = static_cast<const unsigned char*>(y->values) + k * w;
        if (vela::ParserUtils::isObjectType(items)) {
          const void *xo, *yo;
          std::memcpy(&xo, xv, sizeof xo);
          std::memcpy(&yo, yv, sizeof yo);
          if (objectText(items, xo) != objectText(items, yo))
            return at + "list item " + std::to_string(k);
        } else if (std::memcmp(xv, yv, w) != 0) {
          return at + "list item " + std::to_string(k);
        }
      }
    } else if (name.rfind("REGEXP_", 0) == 0) {
      const vela::VelaRegexp *x, *y;
      std::memcpy(&x, a[i].operand + vela::ParserUtils::kRegexpOperandOffset, sizeof x);
      std::memcpy(&y, b[i].operand + vela::ParserUtils::kRegexpOperandOffset, sizeof y);
      if (x->pattern() != y->pattern() || x->flags() != y->flags() || x->replacement() != y->replacement())
        return at + "pattern";
    } else if (a[i].op >= 28 && a[i].op <= 66 && vela::ParserUtils::isObjectType(op->result)) {
      if (objectText(op->result, a[i].operandAs<const void*>()) !=
          objectText(op->result, b[i].operandAs<const void*>()))
        return at + "object constant";
    } else if (std::memcmp(a[i].operand, b[i].operand, sizeof a[i].operand) != 0) {
      return at + "operand bytes";
    }
  }
  return {};
}

std::string oneLine(const GenCase& c) {
  std::string s;
  for (const std::string& e : c.elements)
    s += (s.empty() ? "" : "; ") + e;
  return s;
}

TEST(GeneratedText, OneLineAndMultiLineFormsAssembleToTheSameProgram) {
  ProgramGenerator gen(0x7e47, GenOptions{});
  for (int i = 0; i < sliceSize(1000, 150); ++i) {
    std::unique_ptr<AssembledCase> multi;
    const GenCase c = drawCase(gen, nullptr, multi);
    GenCase flat = c;
    flat.elements = {oneLine(c)};
    std::string why;
    const std::unique_ptr<AssembledCase> single = AssembledCase::assemble(flat, &why);
    ASSERT_TRUE(single) << why << "\n" << c.programText();
    EXPECT_EQ(firstDifference(multi->elements(), single->elements()), "") << c.programText();
  }
}

// The printed reproduction replays: quarry-eval over the written files prints one line per row whose
// state is the runner's null byte, and exits as the call's code says.
TEST(GeneratedText, TheReproductionReplaysInTheTool) {
  GenOptions options;
  options.rowCounts = {1, 63, 65, 200};
  ProgramGenerator gen(0x7e48, options);
  const char* dir = std::getenv("TMPDIR");
  setenv("QUARRY_REPRO_DIR", dir && *dir ? dir : "/tmp", 1);
  for (int i = 0; i < sliceSize(100, 20); ++i) {
    std::unique_ptr<AssembledCase> assembled;
    const GenCase c = drawCase(gen, nullptr, assembled);
    RunSpec spec;
    spec.rows = c.rows;
    const RunOutcome o = runCase(*assembled, spec);
    const std::string report = reproduction(c, "replay check");
    const std::string stem =
        std::string(std::getenv("QUARRY_REPRO_DIR")) + "/quarry-repro-" + std::to_string(c.seed);
    std::ostringstream out, err;
    const int status = quarry::tools::runQuarryEval(
        {"--data", stem + ".csv", "--evaluator", "vector", "--threads", "1", "-e", oneLine(c)}, out, err);
    std::remove((stem + ".csv").c_str());
    std::remove((stem + ".rpn").c_str());
    SCOPED_TRACE(report);
    if (o.threw) {
      EXPECT_EQ(status, quarry::tools::kExitEvalFault) << err.str();
      continue;
    }
    EXPECT_EQ(status, o.code >= 2 ? quarry::tools::kExitRowsFailed : quarry::tools::kExitOk) << err.str();
    std::istringstream lines(out.str());
    std::string line;
    std::getline(lines, line); // header
    unsigned long row = 0;
    while (std::getline(lines, line) && row < c.rows) {
      const std::string state = line.substr(line.rfind(',') + 1);
      EXPECT_EQ(state, std::to_string(o.nulls[row])) << "row " << row << ": " << line;
      ++row;
    }
    EXPECT_EQ(row, c.rows);
  }
}

} // namespace
} // namespace quarry::test
