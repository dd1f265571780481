// Casts between integers, bool and floats, on the stack and fused with a column load, through both
// evaluators, against the models of CastTestSupport.h; the float rounding kernels also directly over many
// random values of every magnitude.
#include <bit>
#include <cstring>
#include <random>

#include "cuda/ManagedObjects.h"
#include "functions/scalar/CastFunctors.h"
#include "functions/scalar/CastZeroFromAny.h"
#include "tests/functions/scalar/CastTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::cast_test;

namespace {

using I8 = std::int8_t;
using I16 = std::int16_t;

constexpr double kInf = std::numeric_limits<double>::infinity(),
                 kNaN = std::numeric_limits<double>::quiet_NaN();

// A cast code and whether it is fused with the load of its source column.
struct Code {
  TypedRpnOp code;
  bool fused;
};

template <class In>
int128_t asInteger(In v) {
  if constexpr (std::is_same_v<In, Bool>)
    return v != 0;
  else
    return static_cast<int128_t>(v);
}

template <class Out, class In>
void integerCasts(std::initializer_list<Code> codes) {
  const std::vector<In> values = boundaryValues<In>();
  std::vector<Out> expected;
  for (In v : values)
    expected.push_back(wrapModel<Out>(asInteger(v)));
  for (Code c : codes)
    expectCast<Out, In>(c.code, c.fused, values, expected);
}

TEST(CastIntegers, KeepTheLowBitsOfEveryWidth) {
  integerCasts<I8, I16>({{323, false}, {118, true}});
  integerCasts<I8, int>({{324, false}, {119, true}});
  integerCasts<I8, long>({{325, false}, {120, true}});
  integerCasts<I8, U64>({{326, false}, {121, true}});
  integerCasts<I16, I8>({{331, false}, {127, true}});
  integerCasts<I16, int>({{332, false}, {129, true}});
  integerCasts<I16, long>({{333, false}, {130, true}});
  integerCasts<I16, U64>({{334, false}, {131, true}});
  integerCasts<I16, Bool>({{126, true}});
  integerCasts<int, I8>({{339, false}, {137, true}});
  integerCasts<int, I16>({{340, false}, {138, true}});
  integerCasts<int, long>({{342, false}, {140, true}, {765, false}});
  integerCasts<int, U64>({{343, false}, {141, true}});
  integerCasts<int, Bool>({{136, true}});
  integerCasts<int, int>({{763, false}, {764, false}});
  integerCasts<int, U32>({{769, false}});
  integerCasts<long, I8>({{359, false}, {150, true}});
  integerCasts<long, I16>({{360, false}, {151, true}});
  integerCasts<long, int>({{361, false}, {152, true}});
  integerCasts<long, U32>({{362, false}, {209, true}, {766, false}});
  integerCasts<long, U64>({{363, false}, {154, true}});
  integerCasts<long, Bool>({{368, false}, {149, true}});
  integerCasts<U64, I8>({{370, false}, {160, true}});
  integerCasts<U64, I16>({{371, false}, {161, true}});
  integerCasts<U64, int>({{372, false}, {162, true}});
  integerCasts<U64, U32>({{373, false}, {210, true}});
  integerCasts<U64, long>({{374, false}, {163, true}});
  integerCasts<U64, Bool>({{379, false}, {159, true}});
}

TEST(CastIntegers, SixteenByteValues) {
  // u128 to i64 / u64 keeps the low 64 bits; u128 and uuid exchange the same bytes.
  U128 a{}, b{};
  for (int i = 0; i < 16; ++i) {
    a.bytes[i] = static_cast<unsigned char>(0xF0 + i);
    b.bytes[i] = static_cast<unsigned char>(i == 8 ? 1 : 0);
  }
  expectCast<long, U128>(369, false, {a, b}, {long(0xF7F6F5F4F3F2F1F0UL), 0});
  expectCast<U64, U128>(380, false, {a, b}, {0xF7F6F5F4F3F2F1F0UL, 0});
  expectCast<U128, U128>(767, false, {a, b}, {a, b});
  expectCast<U128, U128>(768, false, {a, b}, {a, b});
}

// Floats of every kind the rounding meets: halves, the largest double under a half, the edges of 2^52,
// 2^63 and the narrow widths, signed zeros, infinities, NaN, and random values of every magnitude.
std::vector<double> floatSamples() {
  std::vector<double> v = {0.0,   -0.0,  0.5,    -0.5,    1.5,          -1.5,          2.5,  -2.5,
                           127.5, 128.5, -128.5, 32767.5, 2147483647.5, -2147483648.5, 3e10, -3e10};
  v.insert(v.end(), {0.49999999999999994, -0.49999999999999994, 4503599627370495.5, -4503599627370495.5,
                     0x1p52, 0x1p53 + 2, 0x1p63 - 1024, 0x1p63, -0x1p63, 1e300, 5e-324, kInf, -kInf, kNaN});
  std::mt19937_64 gen(7);
  for (int i = 0; i < 200; ++i)
    v.push_back(std::ldexp(static_cast<double>(static_cast<long>(gen())), -static_cast<int>(gen() % 70)));
  return v;
}

template <class Out, class In>
void floatToIntegerCasts(std::initializer_list<Code> codes) {
  std::vector<In> values;
  std::vector<Out> expected;
  for (double d : floatSamples()) {
    values.push_back(static_cast<In>(d));
    expected.push_back(wrapModel<Out>(floatToI64Model(values.back())));
  }
  for (Code c : codes)
    expectCast<Out, In>(c.code, c.fused, values, expected);
}

TEST(CastFloatsToIntegers, RoundHalfAwayThenKeepTheLowBitsOfTheInt64) {
  floatToIntegerCasts<I8, float>({{329, false}, {124, true}});
  floatToIntegerCasts<I8, double>({{330, false}, {125, true}});
  floatToIntegerCasts<I16, float>({{337, false}, {134, true}});
  floatToIntegerCasts<I16, double>({{338, false}, {135, true}});
  floatToIntegerCasts<int, float>({{346, false}, {144, true}});
  floatToIntegerCasts<int, double>({{347, false}, {145, true}});
  floatToIntegerCasts<long, float>({{366, false}, {157, true}});
  floatToIntegerCasts<long, double>({{367, false}, {158, true}});
  floatToIntegerCasts<U64, float>({{377, false}, {167, true}});
  floatToIntegerCasts<U64, double>({{378, false}, {168, true}});
  // Hand rows: 2.5 -> 3, -2.5 -> -3, 3e10 -> the low 32 bits of 30000000000, NaN -> 0 (the low bits of
  // the 64-bit minimum), 2^63 -> the minimum itself at 64 bits.
  expectTable<int>(347,
                   std::vector<Row<int, double>>{{{2.5}, 3}, {{-2.5}, -3}, {{3e10}, -64771072}, {{kNaN}, 0}});
  expectTable<long>(367, std::vector<Row<long, double>>{{{0x1p63}, kI64Min}, {{-kInf}, kI64Min}});
}

TEST(CastFloatsToIntegers, VectorisedRoundingMatchesTheModelEverywhere) {
  // The kernels round with bit operations instead of the library's round: compare with the model over
  // bit patterns of every exponent, both signs and the tie values.
  std::mt19937_64 gen(11);
  for (int i = 0; i < 2000000; ++i) {
    double x;
    switch (i % 3) {
    case 0:
      x = std::bit_cast<double>(gen());
      break;
    case 1:
      x = static_cast<double>(static_cast<long>(gen() % 4000001) - 2000000) / 2; // halves
      break;
    default:
      x = std::ldexp(std::bit_cast<double>((gen() >> 12) | 0x3FF0000000000000ULL), int(gen() % 140) - 10) *
          (gen() & 1 ? -1 : 1);
    }
    const long model = floatToI64Model(x);
    ASSERT_EQ(vela::cuda::CastFloatToIntegerFunc<long>{}(x), model) << std::hexfloat << x;
    ASSERT_EQ(vela::cuda::CastFloatToIntegerFunc<int>{}(x), wrapModel<int>(model)) << std::hexfloat << x;
    const auto f = static_cast<float>(x);
    ASSERT_EQ(vela::cuda::CastFloatToIntegerFunc<I16>{}(f), wrapModel<I16>(floatToI64Model(f)))
        << std::hexfloat << f;
  }
}

TEST(CastToBool, NonZeroIsTrueAndNanToo) {
  const std::vector<double> f = {0.0, -0.0, 5e-324, -1.0, kNaN, kInf};
  const std::vector<Bool> fb = {0, 0, 1, 1, 1, 1};
  expectCast<Bool, double>(111, true, f, fb);
  expectCast<Bool, float>(110, true, {0.0f, -0.0f, 1e-45f, std::numeric_limits<float>::quiet_NaN()},
                          {0, 0, 1, 1});
  const std::vector<Bool> ib = {0, 1, 1, 1};
  expectCast<Bool, I8>(103, true, {0, 1, -1, -128}, ib);
  expectCast<Bool, I16>(104, true, {0, 256, -1, 32767}, ib);
  expectCast<Bool, int>(105, true, {0, 65536, -1, 1 << 30}, ib);
  expectCast<Bool, long>(106, true, {0, 1L << 32, -1, kI64Min}, ib);
  expectCast<Bool, U64>(107, true, {0, 1UL << 63, 1, ~0UL}, ib);
  expectCast<Bool, U32>(214, true, {0, 1U << 31, 1, ~0U}, ib);
  // Decimals: the unscaled value, whatever the scale (0.01 at scale 2 is true).
  expectCast<Bool, Dec64>(108, true, {d64(0), d64(1), d64(-1), d64(kI64Min)}, ib, scales(0, {2}));
  expectCast<Bool, Dec128>(109, true, {d128(0), d128(int128_t(1) << 64), d128(-1), kMin96}, ib,
                           scales(0, {2}));
}

template <class Out, class In>
void toFloatCasts(std::initializer_list<Code> codes, const std::vector<In>& values) {
  std::vector<Out> expected;
  for (In v : values) {
    // Every 64-bit integer is exact in long double; one rounding to Out remains.
    if constexpr (std::is_same_v<In, Bool>)
      expected.push_back(static_cast<Out>(static_cast<long double>(v != 0)));
    else
      expected.push_back(static_cast<Out>(static_cast<long double>(v)));
  }
  for (Code c : codes)
    expectCast<Out, In>(c.code, c.fused, values, expected);
}

TEST(CastToFloats, NearestValue) {
  const std::vector<long> i64 = {
      0, -1, (1L << 53) + 1, (1L << 24) + 1, -(1L << 62) - 1, kI64Min, std::numeric_limits<long>::max()};
  const std::vector<U64> u64 = {0, ~0UL, (1UL << 63) + 1025, (1UL << 53) + 1};
  toFloatCasts<float, Bool>({{189, true}}, {0, 1});
  toFloatCasts<double, Bool>({{199, true}}, {0, 1});
  toFloatCasts<float, I8>({{417, false}, {190, true}}, boundaryValues<I8>());
  toFloatCasts<double, I8>({{425, false}, {200, true}}, boundaryValues<I8>());
  toFloatCasts<float, I16>({{418, false}, {191, true}}, boundaryValues<I16>());
  toFloatCasts<double, I16>({{426, false}, {201, true}}, boundaryValues<I16>());
  toFloatCasts<float, int>({{419, false}, {192, true}}, boundaryValues<int>());
  toFloatCasts<double, int>({{427, false}, {202, true}}, boundaryValues<int>());
  toFloatCasts<float, long>({{420, false}, {193, true}}, i64);
  toFloatCasts<double, long>({{428, false}, {203, true}}, i64);
  toFloatCasts<float, U64>({{421, false}, {194, true}}, u64);
  toFloatCasts<double, U64>({{429, false}, {204, true}}, u64);
  toFloatCasts<float, U32>({{212, true}}, {0, ~0U, (1U << 24) + 1});
  toFloatCasts<double, U32>({{213, true}}, {0, ~0U, (1U << 24) + 1});
  // f64 -> f32 rounds to nearest (overflow to infinity, NaN stays NaN); f32 -> f64 is exact.
  toFloatCasts<float, double>({{424, false}, {198, true}}, {0.1, -1e300, 1e-50, kNaN, -kInf, 16777217.0});
  toFloatCasts<double, float>({{432, false}, {207, true}}, {0.1f, -3e38f, 1e-45f, -0.0f});
}

// ZERO_FROM_ANY over operands of every width and of object types (which must be freed: the harness checks
// the pool balance), with the popped value pushed by ops of different stack effects; and the constant
// results of the u32, u64 and u128 kinds.
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
