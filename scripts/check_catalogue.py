#!/usr/bin/env python3
"""Checks the op catalogue rows (base/catalogue/*.def) against the routing table kept as test data.

Usage: scripts/check_catalogue.py [FILE.def ...]   (default: every .def file)
With files given, only the codes those files define are checked for family, format and uniqueness;
without, the whole code space 0..2649 must be covered exactly once.
"""
import glob, os, re, sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FAMILY_OF_HANDLER = {
    'evalElementValue': 'Value', 'evalElementCompare': 'Compare', 'evalElementMath': 'Math',
    'evalElementNull': 'Null', 'evalElementChar': 'Char', 'evalElementChar2': 'Char2',
    'evalElementString': 'String', 'evalElementDateTime': 'DateTime', 'evalElementGeo': 'Geo',
    'noOpElement': 'NoOp', 'unhandledElement': 'Unassigned'}
TYPES = set('bool i8 i16 i32 u32 i64 u64 dec64 dec128 f32 f64 ipv4 date time datetime timestamp u128 uuid '
            'char1 char2 char4 char8 char16 char32 char64 char128 char256 string string2 json array vector '
            'geometry list pip'.split())
ROW = re.compile(r'^OP\((\d+), "([A-Z0-9_]+)", (\w+), "(\w+)", "([a-z0-9 ]*)", (\d), (\d), "([NEHO]*)"\)\s*(//.*)?$')


def routing():
    fam = {}
    for line in open(os.path.join(ROOT, 'tests/base/routing_table.txt')):
        if line.startswith('#') or not line.strip():
            continue
        handler, codes = line.split(':', 1)
        for part in codes.split(','):
            a, _, b = part.strip().partition('-')
            for c in range(int(a), int(b or a) + 1):
                assert c not in fam, f'routing table lists {c} twice'
                fam[c] = FAMILY_OF_HANDLER[handler.strip()]
    return fam


def main(files):
    whole = not files
    files = files or sorted(glob.glob(os.path.join(ROOT, 'base/catalogue/*.def')))
    fam = routing()
    errors, seen, names = [], {}, {}
    for f in files:
        for n, line in enumerate(open(f), 1):
            s = line.strip()
            if not s or s.startswith('//'):
                continue
            m = ROW.match(s)
            where = f'{os.path.basename(f)}:{n}'
            if not m:
                errors.append(f'{where}: malformed row: {s}')
                continue
            code, name, family, result, operands, sin, sout, flags = m.groups()[:8]
            code = int(code)
            if code in seen:
                errors.append(f'{where}: code {code} already defined at {seen[code]}')
            seen[code] = where
            if name in names:
                errors.append(f'{where}: name {name} already used at {names[name]}')
            names[name] = where
            if fam.get(code) != family:
                errors.append(f'{where}: code {code} is routed to {fam.get(code)}, row says {family}')
            if result == 'list' or (result.startswith('list_') and result[5:] not in TYPES - {'list', 'pip'}):
                errors.append(f'{where}: a list constant gives its element type: list_<type>, e.g. list_i32')
            elif result not in TYPES | {'state', 'none'} and not result.startswith('list_'):
                errors.append(f'{where}: unknown result type {result}')
            for t in operands.split():
                if t not in TYPES | {'any', 'state'}:
                    errors.append(f'{where}: unknown operand type {t}')
            if sout == '1' and not (set(flags) & set('NE')) and not 237 <= code <= 256:
                errors.append(f'{where}: code {code} pushes a state but is neither N nor E')
            if int(sout) > 1:
                errors.append(f'{where}: statesOut above 1')
            if family in ('NoOp', 'Unassigned') and (result != 'none' or operands or sin != '0' or sout != '0'):
                errors.append(f'{where}: no-op/unassigned rows take and give nothing')
    if whole:
        missing = [c for c in range(2650) if c not in seen]
        if missing:
            errors.append(f'{len(missing)} codes missing, first ones: {missing[:20]}')
    for e in errors:
        print(e)
    print(f'{len(seen)} rows checked, {len(errors)} problems')
    return 1 if errors else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
