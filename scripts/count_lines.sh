#!/usr/bin/env bash
# Counts non-blank, non-comment C++ lines (.cpp/.h) in src/ and tests/, and the
# ratio of the two. Comments are // lines and /* ... */ blocks; a line holding
# code and a trailing comment counts as code.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  find "$1" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z | xargs -0 cat | awk '
    {
      line = $0
      out = ""
      while (length(line) > 0) {
        if (inblock) {
          p = index(line, "*/")
          if (p == 0) { line = ""; break }
          line = substr(line, p + 2); inblock = 0
        } else {
          p = index(line, "/*"); q = index(line, "//")
          if (q > 0 && (p == 0 || q < p)) { out = out substr(line, 1, q - 1); line = ""; break }
          if (p == 0) { out = out line; line = ""; break }
          out = out substr(line, 1, p - 1); line = substr(line, p + 2); inblock = 1
        }
      }
      if (out ~ /[^ \t\r]/) n++
    }
    END { print n + 0 }'
}

src=$(count src)
tests=$(count tests)
echo "src:   $src"
echo "tests: $tests"
awk -v s="$src" -v t="$tests" 'BEGIN { printf "ratio: %.1f%% (target <= 33.3%%, tests <= %d)\n", 100 * t / s, s / 3 }'
