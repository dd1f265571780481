// Program text: the assembler, then the checks the tool runs, then the listing; a program that passes
// the checks is evaluated by both evaluators over a few rows of every column kind.
#include <exception>

#include "fuzz/FuzzEval.h"
#include "fuzz/FuzzTarget.h"
#include "tools/CsvData.h"
#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"

namespace quarry::fuzz {

namespace {

// Three rows, the second all NULL, over the kinds programs load most.
constexpr std::string_view kData =
    "i:i64,j:i32,d:dec64(2),\"e:dec128(20,4)\",f:f64,b:bool,c:char8,w:char256,s:string,t:datetime,"
    "day:date,ts:timestamp,v:vector,js:json,g:geometry\n"
    "7,-3,12.50,-0.0001,2.5,1,pen,\"a,b\",hello,2024-02-29 13:45:30.125,2024-02-29,1969-12-31 23:59,"
    "\"[1,2,3]\",\"{\"\"a\"\":[1,2]}\",POINT (1 2)\n"
    ",,,,,,,,,,,,,,\n"
    "-9223372036854775808,2147483647,-0.01,99999999999999.9999,-inf,0,\"\",x,\"\",9999-12-31,1000-01-01,"
    "2900-12-31 23:59:59.999,[],[],\"POLYGON ((0 0, 1 0, 1 1, 0 0))\"\n";

struct Fixture {
  tools::CsvData data = tools::CsvData::parse(kData);
  std::vector<tools::CsvColumnType> types;
  std::vector<std::string> names;
  Fixture() {
    for (const tools::CsvColumn& c : data.columns()) {
      names.push_back(c.name);
      types.push_back(c.type);
    }
  }
};

} // namespace

int programText(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  static const Fixture fixture;
  const std::string_view text = asText(bytes, size);
  tools::ConstantObjects objects;
  tools::ProgramTextContext context;
  context.columnNames = fixture.names;
  context.columnTypes = fixture.types;
  context.objects = &objects;
  vela::ParserUtils::Program program;
  try {
    tools::parseProgramText(text, program, context);
    tools::checkProgram(program.elements(), fixture.types);
    (void)tools::describeProgram(program.elements());
  } catch (const tools::ProgramTextError&) {
    return 0;
  } catch (const std::exception& e) {
    fail(std::string("the assembler let escape: ") + e.what(), text);
  }
  if (program.size() == 0)
    return 0;
  evaluateBoth(program.elements(), fixture.data.pointers(), fixture.data.rows(), text);
  return 0;
}

} // namespace quarry::fuzz
