// Benchmark cases of H3 cell functions: points spread uniformly over longitude and latitude, and the
// resolution-9 cells of such points. Each fused loop calls the grid core (base/H3Core.h) directly, with
// the same invalid-value conventions as the ops (cell 0, resolution -1).

#include <cmath>

#include "base/H3Core.h"
#include "base/ProgramBuilder.h"
#include "bench/BenchSupport.h"
#include "cuda/VectorEvalTypes.h"

namespace quarry::bench {

using vela::cuda::RPN_EVAL_OK;
using vela::ParserUtils::Program;
namespace h3 = vela::h3;

namespace {

constexpr int kLoadF64 = 208, kLoadU64 = 164, kConstI32 = 37;
constexpr int kH3LatLngToCell = 2475, kH3CellToParent = 2465, kH3GetResolution = 2469;
constexpr double kRadPerDeg = 3.14159265358979323846 / 180.0;

double unit(std::size_t c, unsigned long r) {
  return static_cast<double>(mix(c, r) >> 11) * 0x1.0p-53;
}
double anyLat(std::size_t c, unsigned long r) {
  return unit(c, r) * 180.0 - 90.0;
}
double anyLng(std::size_t c, unsigned long r) {
  return unit(c, r) * 360.0 - 180.0;
}
unsigned long anyCell9(std::size_t c, unsigned long r) {
  h3::H3Index h = 0;
  h3::latLngToCell({anyLat(c, r) * kRadPerDeg, anyLng(c + 1000, r) * kRadPerDeg}, 9, h);
  return h;
}
void genPoints(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  if (c == 0)
    fill<double, anyLat>(c, column, b, e);
  else
    fill<double, anyLng>(c, column, b, e);
}
void genCells(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<unsigned long, anyCell9>(c, column, b, e);
}

rpn_eval_result_t fusedLatLngToCell(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                    unsigned long end) {
  const double* __restrict lat = col<double>(in, 0);
  const double* __restrict lng = col<double>(in, 1);
  unsigned long* __restrict v = reinterpret_cast<unsigned long*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    h3::H3Index h = 0;
    v[i] = h3::latLngToCell({lat[i] * kRadPerDeg, lng[i] * kRadPerDeg}, 9, h) == h3::H3Error::Success ? h : 0;
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedCellToParent(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                    unsigned long end) {
  const unsigned long* __restrict a = col<unsigned long>(in, 0);
  unsigned long* __restrict v = reinterpret_cast<unsigned long*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    h3::H3Index p = 0;
    v[i] = h3::isValidCell(a[i]) && h3::cellToParent(a[i], 5, p) == h3::H3Error::Success ? p : 0;
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedGetResolution(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                     unsigned long end) {
  const unsigned long* __restrict a = col<unsigned long>(in, 0);
  int* __restrict v = reinterpret_cast<int*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i)
    v[i] = h3::isValidCell(a[i]) ? h3::getResolution(a[i]) : -1;
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

} // namespace

void appendH3Cases(std::vector<BenchCase>& cases) {
  auto add = [&](const char* name, std::size_t width, std::vector<std::size_t> columns,
                 void (*gen)(std::size_t, InputColumn&, unsigned long, unsigned long), FusedRange fused) {
    cases.push_back({name, false, width, std::move(columns), gen, fused, std::make_shared<Program>()});
    return cases.back().program;
  };
  add("h3_latlng_to_cell_r9", 8, {8, 8}, genPoints, fusedLatLngToCell)
      ->column(kLoadF64, 0)
      .column(kLoadF64, 1)
      .constant(kConstI32, 9)
      .op(kH3LatLngToCell);
  add("h3_cell_to_parent_r5", 8, {8}, genCells, fusedCellToParent)
      ->column(kLoadU64, 0)
      .constant(kConstI32, 5)
      .op(kH3CellToParent);
  add("h3_get_resolution", 4, {8}, genCells, fusedGetResolution)->column(kLoadU64, 0).op(kH3GetResolution);
}

} // namespace quarry::bench
