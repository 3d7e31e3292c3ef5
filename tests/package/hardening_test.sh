#!/usr/bin/env bash
# hardening_test.sh FORTIFY PROGRAM...: reads each program's ELF for what the hardening flags of
# cmake/hardening.cmake leave there, and fails for each program that lacks one: position
# independence (PIE), full RELRO (a GNU_RELRO segment and BIND_NOW), the stack protector
# (__stack_chk_fail), control-flow protection (main entered through endbr64 on x86-64) and, when
# FORTIFY is ON, the checked copies of the C library's functions (__*_chk). Stack clash
# protection leaves no mark in an ELF file, and is not checked here.
set -uo pipefail
fortify=${1:?usage: hardening_test.sh ON|OFF PROGRAM...}
shift
(($#)) || { echo "usage: hardening_test.sh ON|OFF PROGRAM..."; exit 64; }

failures=0
fail() { echo "FAIL: $1: $2"; failures=$((failures + 1)); }

for program in "$@"; do
  name=$(basename "$program")
  if ! header=$(readelf --file-header --wide "$program" 2>&1); then
    fail "$name" "not an ELF file: $header"
    continue
  fi
  dynamic=$(readelf --dynamic --wide "$program")
  symbols=$(readelf --dyn-syms --wide "$program")

  grep -qE 'Type: +DYN' <<<"$header" && grep -qE 'FLAGS_1.*\bPIE\b' <<<"$dynamic" ||
    fail "$name" "not position independent (PIE)"
  readelf --program-headers --wide "$program" | grep -q GNU_RELRO || fail "$name" "no RELRO"
  grep -qE '\(FLAGS\).*\bBIND_NOW\b|FLAGS_1.*\bNOW\b' <<<"$dynamic" ||
    fail "$name" "no BIND_NOW (RELRO is partial)"
  grep -q ' __stack_chk_fail' <<<"$symbols" || fail "$name" "no stack protector"
  if [[ $fortify == ON ]]; then
    grep -qE ' __[a-z0-9_]+_chk(@|$| )' <<<"$(grep -v __stack_chk_fail <<<"$symbols")" ||
      fail "$name" "no _FORTIFY_SOURCE (no checked function)"
  fi
  case $(grep -oP 'Machine: +\K.*' <<<"$header") in
    *X86-64*)
      objdump --disassemble=main --no-show-raw-insn "$program" |
        grep -A1 '<main>:' | grep -q endbr64 || fail "$name" "no control-flow protection (CET)"
      ;;
    *) fail "$name" "this test knows no control-flow protection mark for its machine" ;;
  esac
done

if ((failures)); then
  echo "$failures hardening mark(s) missing"
  exit 1
fi
echo "every program carries every hardening mark: $*"
