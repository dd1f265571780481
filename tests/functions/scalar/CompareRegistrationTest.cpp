// Every code the comparison family routes, and every string comparison code, has a kernel in both
// evaluators, and none of their registrations was refused.
#include "tests/functions/scalar/CompareTestSupport.h"

namespace {

using vela::ParserUtils::OpFamily;
using vela::ParserUtils::TypedRpnOp;

bool isStringComparison(TypedRpnOp code) {
  return (code >= 909 && code <= 922) || code == 1112 || code == 1113 || code == 1134 || code == 1135 ||
         code == 1254 || code == 1257 || code == 1912 || code == 1933;
}

TEST(CompareRegistration, EveryCodeHasAKernelInBothEvaluators) {
  int compareCodes = 0;
  for (TypedRpnOp code = 0; code < vela::ParserUtils::kNumOps; ++code) {
    if (vela::ParserUtils::opFamily(code) != OpFamily::Compare && !isStringComparison(code))
      continue;
    compareCodes += vela::ParserUtils::opFamily(code) == OpFamily::Compare;
    EXPECT_NE(vela::cuda::OpHandlerTable<vela::cuda::TypedRpnVectorEvaluator>::find(code), nullptr)
        << vela::ParserUtils::get_trpn_op_name(code);
    EXPECT_NE(vela::cuda::OpHandlerTable<vela::cuda::TypedRpnValueEvaluator>::find(code), nullptr)
        << vela::ParserUtils::get_trpn_op_name(code);
  }
  EXPECT_EQ(compareCodes, 376);
  for (const std::string& error : vela::cuda::opRegistrationErrors()) {
    for (TypedRpnOp code = 0; code < vela::ParserUtils::kNumOps; ++code) {
      if (vela::ParserUtils::opFamily(code) == OpFamily::Compare || isStringComparison(code)) {
        EXPECT_EQ(error.find("(" + std::string(vela::ParserUtils::get_trpn_op_name(code)) + ")"),
                  std::string::npos)
            << error;
      }
    }
  }
}

} // namespace
