#!/bin/sh
# quillnet --checksum over standard input far longer than the memory the program may take: read in
# pieces, its value comes out; read whole, the program would run out of address space and abort.
# Usage: checksum_memory.sh QUILLNET SANITIZED (ON: skipped, a sanitizer reserves terabytes of
# address space).
exe=$1
case ${2:-OFF} in
  ON|on|1|TRUE|true) echo "skipped: a sanitized build cannot run under an address-space limit"; exit 77 ;;
esac
# The program with its libraries maps about 100 MB; the stream is 320 MB.
limit_kb=$((224 * 1024))
limited() { (ulimit -v "$limit_kb" && exec "$exe" --checksum CRC-32 "$@"); }

# The limit leaves the program room for itself: a failure below is the stream's.
got=$(limited --hex 00) || { echo "the program does not start under ulimit -v $limit_kb" >&2; exit 1; }
[ "$got" = D202EF8D ] || { echo "CRC-32 of one zero byte: '$got'" >&2; exit 1; }

expected=EAE5C24B  # CRC-32 of 320 MiB of zero bytes
got=$(head -c 320M /dev/zero | limited -)
status=$?
if [ "$status" -ne 0 ] || [ "$got" != "$expected" ]; then
  echo "320 MiB on standard input under ulimit -v $limit_kb: exit $status, printed '$got', expected '$expected'" >&2
  exit 1
fi
echo "320 MiB on standard input under ulimit -v $limit_kb KiB: $got"
