#pragma once
// The checks the command-line evaluator runs on an assembled program before evaluating it, so that
// a mistyped program is refused with a message instead of reading cells of the wrong width: every
// column reference names an input column whose storage is what the load reads, and every operand an
// op pops has the storage type the catalogue gives it. Stack depth is not judged here: a program that
// pops more than it pushed, or leaves more than one value, is the evaluator's to refuse (it raises a
// frame fault), and checking stops at the first element that would underflow.

#include <vector>

#include "base/ParserUtils.h"
#include "tools/CsvData.h"

namespace quarry::tools {

/// The storage type a kind is held in (date -> i32, uuid -> u128, string2 -> string, ...), so that
/// kinds that share a storage type are interchangeable as operands.
vela::ParserUtils::RpnDataType storageOf(vela::ParserUtils::RpnDataType type);

/// The storage type of the column a column-reading op reads (a fused load-and-cast reads its source
/// type); None for the null-flag ops, which read one byte per row of any column.
vela::ParserUtils::RpnDataType columnSourceType(int code);

/// The type of the items of the list operands of `op`: the values it picks from (LOOKUP: position,
/// list of results, default) or else the keys its first operand is sought among (IN, FIND, FIND_RANGE,
/// and the ring coordinates of POINT_IN_RING).
vela::ParserUtils::RpnDataType listItemType(const vela::ParserUtils::OpInfo& op);

/// Throws ProgramTextError naming the element (1-based) and what is wrong. `columns` are the N input
/// columns; null-flag ops may refer to index N + k for column k's flags.
void checkProgram(const std::vector<vela::ParserUtils::TypedRpnElement>& program,
                  const std::vector<CsvColumnType>& columns);

} // namespace quarry::tools
