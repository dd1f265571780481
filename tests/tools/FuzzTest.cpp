// A small deterministic mutation fuzzer for the two text readers of quarry-eval: the program text
// (assembler and checks) and the CSV reader, and for the whole command on small inputs. Every input
// must be accepted or refused with the reader's own error; nothing else may escape, and nothing may
// crash (the sanitizer build turns memory errors into failures). Seeded and of fixed length, so a
// failure reproduces.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ToolTestSupport.h"
#include "tools/CsvData.h"
#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"

namespace {

// Characters that steer the readers into their less travelled branches.
constexpr char kAlphabet[] = "'\",;[]$=\n\r\t /.-+0123456789eEnaifx:()_ABCDLOSTU";

std::string mutate(std::string s, std::mt19937& rng) {
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < edits; ++i) {
    switch (rng() % 5) {
    case 0: // replace a byte
      if (!s.empty())
        s[pick(s.size())] = kAlphabet[pick(sizeof kAlphabet - 1)];
      break;
    case 1: // insert a byte
      s.insert(s.begin() + static_cast<long>(pick(s.size() + 1)), kAlphabet[pick(sizeof kAlphabet - 1)]);
      break;
    case 2: // delete a range
      if (!s.empty()) {
        const std::size_t at = pick(s.size());
        s.erase(at, 1 + pick(8));
      }
      break;
    case 3: { // duplicate a range
      if (!s.empty()) {
        const std::size_t at = pick(s.size());
        s.insert(pick(s.size() + 1), s.substr(at, 1 + pick(16)));
      }
      break;
    }
    default: // a random byte, including controls and high bytes
      s.insert(s.begin() + static_cast<long>(pick(s.size() + 1)), static_cast<char>(rng() & 0xff));
      break;
    }
  }
  return s;
}

const std::vector<std::string> kProgramSeeds = {
    "LOAD_COL_I64 $a\nLOAD_COL_I64 $b\nDIV_I64\nCONST_I64 10\nADD_I64 // x",
    "CONST_DEC64 '-1.25' s=2 p=9; LOAD_COL_DEC64 $d; ADD_DEC64 p0=18 s0=2 p1=18 s1=3 s=3",
    "LOAD_COL_CHAR8 $c; LIST_CHAR8 ['a,b', 'it''s']; IN_CHAR8",
    "CONST_I32 1; LIST_I32 [4, -5] results=[7, 8]; FIND_I32",
    "CONST_STRING 'x y'; LOAD_COL_STRING $s; LT_STRING",
    "CONST_F64 nan; CONST_F64 -inf; ADD_F64; LOAD_COL_NULLS $a.nulls",
    "CONST_STRING 'UTC'; CONST_I64 '2024-02-29 13:45:30.125'; CONVERT_TZ; CONST_I32 '23:59'; "
    "CAST_TIME_TO_I64;"
    "CONST_CHAR32 format='Y,YYY-MM-DD HH24:MI:SS.FF3 \"T\" A.M.'",
};
const std::vector<std::string> kCsvSeeds = {
    "a:i64,b:i64,d:dec64(3),c:char8,s:string\n7,2,1.5,pen,\"x,\"\"y\"\"\"\n,0,,\"\",\r\n-1,-"
    "9223372036854775808,0.001,a,b\n",
    "f:f32,u:u128,j:json,v:vector,g:geometry\nnan,3,\"{\"\"a\"\":1}\",\"[1,2]\",POINT (1 2)\n-inf,0,[],[],\n",
    "d:date,t:time,x:datetime,s:timestamp\n2024-02-29,13:45,2024-02-29 13:45:30.125,1969-12-31 23:59\n"
    "9999-12-31,00:00:00.000,1000-01-01,\n",
};

} // namespace

TEST(Fuzz, ProgramTextRefusesOrAccepts) {
  std::mt19937 rng(20240601);
  const std::vector<quarry::tools::CsvColumnType> columns = {{vela::ParserUtils::RpnDataType::Int64, 0},
                                                             {vela::ParserUtils::RpnDataType::Int64, 0}};
  quarry::tools::ProgramTextContext context;
  context.columnNames = {"a", "b"};
  context.columnTypes = columns;
  for (int i = 0; i < 30000; ++i) {
    const std::string text = mutate(kProgramSeeds[i % kProgramSeeds.size()], rng);
    quarry::tools::ConstantObjects objects;
    context.objects = &objects;
    vela::ParserUtils::Program program;
    try {
      quarry::tools::parseProgramText(text, program, context);
      quarry::tools::checkProgram(program.elements(), columns);
      (void)quarry::tools::describeProgram(program.elements());
    } catch (const quarry::tools::ProgramTextError&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << "escaped: " << e.what() << "\ninput: " << text;
    }
  }
}

TEST(Fuzz, CsvReaderRefusesOrAccepts) {
  std::mt19937 rng(4180);
  for (int i = 0; i < 30000; ++i) {
    const std::string text = mutate(kCsvSeeds[i % kCsvSeeds.size()], rng);
    try {
      const auto data = quarry::tools::CsvData::parse(text);
      for (const auto& c : data.columns()) {
        ASSERT_EQ(c.cells.size(), data.rows() * c.width);
        ASSERT_EQ(c.nulls.size(), data.rows());
      }
    } catch (const quarry::tools::CsvError&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << "escaped: " << e.what() << "\ninput: " << text;
    }
  }
}

TEST(Fuzz, TheCommandNeverCrashesOnMutatedInputs) {
  // Mutated programs that pass the checks are evaluated for real, over mutated data.
  std::mt19937 rng(65);
  int evaluated = 0;
  for (int i = 0; i < 1500; ++i) {
    const std::string csv = mutate(kCsvSeeds[0], rng);
    const std::string program = mutate(kProgramSeeds[i % kProgramSeeds.size()], rng);
    const std::string data = quarry::test::writeTempFile("fuzz.csv", csv);
    const auto r = quarry::test::runInProcess({"--data", data, "-e", program});
    ASSERT_TRUE(r.status >= 0 && r.status <= 3) << r.status;
    if (r.status == 2)
      EXPECT_EQ(r.out, "") << "a refusal evaluates nothing";
    else
      ++evaluated;
  }
  EXPECT_GT(evaluated, 0);
}
