#!/bin/sh
# A plain Release tree takes Debian's hardening (fortified functions, stack
# protector, full RELRO, immediate binding), as the package is built from
# one; flags given on the command line win. Skipped without dpkg-buildflags.
set -eu
source_dir=$1
work=$2
command -v dpkg-buildflags >/dev/null || exit 77
rm -rf "$work"
configure() {
    tree=$1
    shift
    cmake -S "$source_dir" -B "$work/$tree" -DCMAKE_BUILD_TYPE=Release -DSONIVATE_GUI=OFF -DSONIVATE_TESTS=OFF \
        -DSONIVATE_BENCH=OFF "$@" >/dev/null
}
cached() { grep "^$2=" "$work/$1/CMakeCache.txt"; }

configure plain
cached plain CMAKE_CXX_FLAGS:STRING | grep -q -- "-D_FORTIFY_SOURCE" || { echo "no fortify in a Release tree"; exit 1; }
cached plain CMAKE_CXX_FLAGS:STRING | grep -q -- "-fstack-protector" || { echo "no stack protector"; exit 1; }
cached plain CMAKE_EXE_LINKER_FLAGS:STRING | grep -q -- "-z,now" || { echo "no immediate binding"; exit 1; }

configure own -DCMAKE_CXX_FLAGS=-DOWN_FLAGS
cached own CMAKE_CXX_FLAGS:STRING | grep -q -- "-D_FORTIFY_SOURCE" && { echo "own flags were replaced"; exit 1; }
echo ok
