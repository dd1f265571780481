#include "fuzz/FuzzEval.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "base/CallContext.h"
#include "base/GeometryCodec.h"
#include "base/JsonValueUtils.h"
#include "base/RamPool.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"
#include "fuzz/FuzzTarget.h"
#include "tests/support/ObjectBytes.h"

namespace quarry::fuzz {

using vela::ParserUtils::RpnDataType;
using namespace vela::cuda;

namespace {

// Strings a kernel built from bytes may hold invalid UTF-8: written replaced, never thrown.
std::string objectText(RpnDataType type, const void* object) {
  return quarry::test::objectBytes(type, object, quarry::test::JsonBytes::ReplacedText,
                                   quarry::test::GeometryBytes::Wkb);
}

EvalOutcome runOne(bool rowEvaluator, const std::vector<vela::ParserUtils::TypedRpnElement>& program,
                   const std::vector<const unsigned char*>& columns, unsigned long rows,
                   std::string_view input) {
  const RpnDataType type = vela::ParserUtils::get_evaluated_type(program);
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(type);
  const bool objects = vela::ParserUtils::isObjectType(type);
  EvalOutcome out;
  out.values.assign(rows * width, 0);
  out.nulls.assign(rows, 0);
  std::vector<unsigned long> sizes(rows, 0);

  const auto objectAt = [&](unsigned long r) {
    void* object;
    std::memcpy(&object, out.values.data() + r * width, sizeof object);
    return object;
  };
  const auto freeResults = [&](vela::RamPool& pool) {
    for (unsigned long r = 0; r < rows; ++r)
      if (isOwningReservation(sizes[r])) {
        objectDeleterFor(type)(objectAt(r));
        if (pool.reservedBytes() < sizes[r])
          fail("outSizes reports more than the pool holds", input);
        pool.unreserveRaw(sizes[r]);
        sizes[r] = 0;
      }
  };

  vela::RamPool pool("fuzz", kEvalPoolLimit);
  {
    vela::RamPoolThreadBinding binding(&pool);
    try {
      // The call's cache (prepared constants) is charged to the pool and dies with the call, as the
      // entry point's does.
      vela::EvaluatorCache cache;
      TypedRpnEvaluatorParams params(nullptr, program, columns.data(), columns.size(), out.values.data(),
                                     out.nulls.data(), sizes.data(), rows, vela::currentYear(), 0, &cache,
                                     nullptr, nullptr);
      out.code =
          rowEvaluator ? TypedRpnValueEvaluator::evaluate(params) : TypedRpnVectorEvaluator::evaluate(params);
    } catch (const vela::VelaException& e) {
      out.faulted = true;
      out.fault = e.what();
    }
    if (out.faulted) {
      if (objects)
        freeResults(pool);
      if (pool.reservedBytes() != 0)
        fail("pool not balanced after a fault: " + std::to_string(pool.reservedBytes()) + " bytes held",
             input);
      return out;
    }
    if (objects) {
      unsigned long reported = 0;
      out.objects.resize(rows);
      for (unsigned long r = 0; r < rows; ++r) {
        const void* object = objectAt(r);
        if (object != nullptr)
          out.objects[r] = objectText(type, object);
        if (sizes[r] == 0 && object != nullptr)
          fail("a non-null object result the caller does not own", input);
        if (isOwningReservation(sizes[r]))
          reported += sizes[r];
      }
      if (pool.reservedBytes() != reported)
        fail("the pool holds " + std::to_string(pool.reservedBytes()) + " bytes, outSizes reports " +
                 std::to_string(reported),
             input);
      freeResults(pool);
      std::memset(out.values.data(), 0, out.values.size());
    }
  }
  if (pool.reservedBytes() != 0)
    fail("pool not balanced after the call", input);
  return out;
}

// Codes the two evaluators treat differently by design: the column-batch evaluator refuses no-op and
// unassigned codes that the row evaluator passes over, and it executes 1195 and 2306, which the row
// evaluator skips.
bool hasDocumentedDifference(const std::vector<vela::ParserUtils::TypedRpnElement>& program) {
  for (const auto& e : program)
    if (vela::ParserUtils::isNoOp(e.op) ||
        vela::ParserUtils::opFamily(e.op) == vela::ParserUtils::OpFamily::Unassigned || e.op == 1195 ||
        e.op == 2306)
      return true;
  return false;
}

// NOW reads the real-time clock once per call, to the millisecond: two calls a tick apart give
// different values, so only the codes and null states of such programs are compared.
constexpr vela::ParserUtils::TypedRpnOp kNowOp = 1431;
bool readsClock(const std::vector<vela::ParserUtils::TypedRpnElement>& program) {
  return std::any_of(program.begin(), program.end(), [](const auto& e) { return e.op == kNowOp; });
}

} // namespace

EvalOutcome evaluateBoth(const std::vector<vela::ParserUtils::TypedRpnElement>& program,
                         const std::vector<const unsigned char*>& columns, unsigned long rows,
                         std::string_view input) {
  EvalOutcome batch = runOne(false, program, columns, rows, input);
  const EvalOutcome row = runOne(true, program, columns, rows, input);
  if (hasDocumentedDifference(program))
    return batch;
  // Either evaluator may refuse first (pools are charged in a different order); both must refuse.
  if (batch.faulted != row.faulted)
    fail("one evaluator faulted and the other did not: " + batch.fault + row.fault, input);
  if (batch.faulted)
    return batch;
  if (batch.code != row.code)
    fail("the evaluators return different codes: " + std::to_string(batch.code) + " and " +
             std::to_string(row.code),
         input);
  const std::size_t width = rows == 0 ? 0 : batch.values.size() / rows;
  const bool clock = readsClock(program);
  for (unsigned long r = 0; r < rows; ++r) {
    const unsigned char state = batch.nulls[r];
    const unsigned char rowState = row.nulls[r];
    if (state != rowState && !(state >= 2 && rowState == 1))
      fail("row " + std::to_string(r) + ": null states " + std::to_string(state) + " and " +
               std::to_string(rowState),
           input);
    if (state != 0 || clock)
      continue;
    if (std::memcmp(batch.values.data() + r * width, row.values.data() + r * width, width) != 0)
      fail("row " + std::to_string(r) + ": the evaluators give different values", input);
    if (!batch.objects.empty() && batch.objects[r] != row.objects[r])
      fail("row " + std::to_string(r) + ": the evaluators give different objects", input);
  }
  return batch;
}

} // namespace quarry::fuzz
