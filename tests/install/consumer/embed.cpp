// The README's embedding example as a program: 7 / 2 and 7 / 0 through the entry point. Prints the
// value cells, the null bytes, the returned code and the message of the raised code.
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"

using namespace vela::ParserUtils;

int main() {
  std::vector<std::int64_t> a = {7, 7}, b = {2, 0};
  Program p;
  p.column(findOpByName("LOAD_COL_I64")->code, 0)
      .column(findOpByName("LOAD_COL_I64")->code, 1)
      .op(findOpByName("DIV_I64")->code);

  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(a.data()),
                                    reinterpret_cast<const unsigned char*>(b.data())};
  const RpnDataType type = get_evaluated_type(p.elements());
  std::vector<unsigned char> values(2 * get_rpn_datatype_size(type)), nulls(2);
  std::vector<unsigned long> sizes(2);
  const auto code = vela::cuda::evaluateTypedRpnHost(p.elements(), columns, 2, values.data(), nulls.data(),
                                                     sizes.data(), 2, /*rowOffset*/ 0, nullptr, nullptr);

  std::int64_t cells[2];
  std::memcpy(cells, values.data(), sizeof cells);
  std::cout << "values " << cells[0] << ' ' << cells[1] << '\n'
            << "nulls " << int(nulls[0]) << ' ' << int(nulls[1]) << '\n'
            << "code " << int(code) << '\n';
  try {
    vela::cuda::throwIfEvaluationError(code);
    std::cout << "no exception\n";
  } catch (const vela::VelaException& e) {
    // The message without its location suffix " (file code:line)".
    const std::string what = e.what();
    std::cout << "thrown " << what.substr(0, what.rfind(" (")) << '\n';
  }
  return 0;
}
