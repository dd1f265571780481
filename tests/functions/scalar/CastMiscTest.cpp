// ZERO_FROM_ANY over operands of every width and of object types (which must be freed: the harness checks
// the pool balance), with the popped value pushed by ops of different stack effects; and the constant
// results of the u32, u64 and u128 kinds.
#include <cstring>

#include "cuda/ManagedObjects.h"
#include "functions/scalar/CastZeroFromAny.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

TypedRpnOp byName(const char* name) {
  const vela::ParserUtils::OpInfo* op = vela::ParserUtils::findOpByName(name);
  EXPECT_NE(op, nullptr) << name;
  return op ? op->code : 0;
}

TEST(CastZeroFromAny, PopsAnyOperandAndPushesZero) {
  const std::vector<std::optional<std::string>> strings = {"abc", std::nullopt, "a longer text than sixteen"};
  // Every result type, each from a string column (an object the pop must free), a char256 column (the
  // widest cell of the row evaluator's stack) and a dec128 column.
  const TypedRpnOp codes[] = {611, 612, 613, 614, 615, 616, 617, 618, 619, 620, 621, 622, 623,
                              624, 625, 626, 627, 628, 629, 630, 631, 632, 633, 634, 635, 637};
  std::vector<unsigned char> wide(3 * 256, 'x');
  std::vector<unsigned char> dec(3 * 12, 0x7F);
  for (TypedRpnOp code : codes) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(vela::ParserUtils::get_type(code));
    const std::vector<unsigned char> zeros(3 * width, 0);
    for (int source = 0; source < 3; ++source) {
      Program p;
      p.column(source == 0 ? kLoadString : source == 1 ? kLoadChar + 8 : kLoadDec128, 0).op(code);
      HarnessCase c(p);
      if (source == 0)
        c.addStringColumn(strings);
      else if (source == 1)
        c.addRawColumn(256, 3, wide);
      else
        c.addRawColumn(12, 3, dec);
      const HarnessResult r = c.run();
      EXPECT_EQ(r.values, zeros);
    }
  }
}

TEST(CastZeroFromAny, FindsTheTypeOfTheTopValueBehindOtherOps) {
  // The top value comes from an op with operands (GREATEST of two string columns, which returns one of them)
  // while an i64 sits below it; the zero then takes part in an addition with that i64.
  const TypedRpnOp concat = byName("GREATEST_STRING");
  const TypedRpnOp addI64 = byName("ADD_I64");
  Program p;
  p.column(kLoadI64, 0).column(kLoadString, 1).column(kLoadString, 2).op(concat).op(615).op(addI64);
  HarnessCase(p)
      .addColumn(std::vector<long>{5, -7})
      .addStringColumn({"ab", std::nullopt})
      .addStringColumn({"cd", "ef"})
      .expectRows(std::vector<long>{5, -7});
  // An intermediate JSON value and a geometry, popped as objects.
  HarnessCase(Program().column(byName("LOAD_COL_JSON"), 0).op(613))
      .addJsonColumn({"{\"a\":[1,2]}", std::nullopt})
      .expectRows(std::vector<int>{0, 0});
  HarnessCase(Program().column(byName("LOAD_COL_GEOMETRY"), 0).op(620))
      .addGeometryColumn({"POINT (1 2)", std::nullopt})
      .expectRows(std::vector<double>{0.0, 0.0});
}

// A test-only op making an owned copy of a string, so that ZERO_FROM_ANY pops an intermediate object
// that nobody but its stack entry owns: the harness's pool balance shows whether the pop freed it.
struct CopyStringFunc {
  void operator()(vela::cuda::EvalOutputString out, const vela::cuda::InlineBuffer<char>* in) const {
    out.writeCopy(in);
  }
};

TEST(CastZeroFromAny, FreesAnOwnedObjectOperand) {
  constexpr TypedRpnOp kCopy = 1628; // a string-to-string code, given the test-only copy here
  const vela::cuda::ScopedOpShape<vela::cuda::ElementwiseOp<CopyStringFunc, vela::cuda::EvalOutputString,
                                                            const vela::cuda::InlineBuffer<char>*>>
      copy(kCopy);
  HarnessCase(Program().column(kLoadString, 0).op(kCopy).op(616))
      .addStringColumn({"a text longer than any inline buffer of the pool", std::nullopt, ""})
      .expectRows(std::vector<unsigned long>{0, 0, 0});
}

TEST(CastZeroFromAny, AnEmptyStackIsAnUnderflow) {
  HarnessCase(Program().op(615)).expectFault("stack underflow");
}

TEST(CastConstantResult, PushesTheElementConstant) {
  HarnessCase(Program().constant(2289, std::uint32_t{4000000000U}))
      .expectRows(std::vector<std::uint32_t>{4000000000U});
  HarnessCase(Program().constant(2626, std::uint64_t{18446744073709551615ULL}))
      .expectRows(std::vector<std::uint64_t>{18446744073709551615ULL});
  fixed_array_t<16> v;
  for (int i = 0; i < 16; ++i)
    v.bytes[i] = static_cast<unsigned char>(i * 17);
  HarnessCase(Program().constant(2627, v)).expectRows(std::vector<fixed_array_t<16>>{v});
  // Before the last value element the constant is an operand like any other: 4000000000 as u32 to i64.
  HarnessCase(Program().constant(2289, std::uint32_t{4000000000U}).op(362))
      .expectRows(std::vector<long>{4000000000L});
}

} // namespace
