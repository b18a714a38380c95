#!/usr/bin/env bash
# man-page.sh OUT.1.gz VERSION PROGRAM: the manual page of PROGRAM made from its own --help,
# so that every command and option it lists appears in the manual without a second list to
# keep. The first line of the help ("usage: ...") is the synopsis, its first sentence after
# that the one-line description; a line "  TERM   TEXT" (two or more blanks between) becomes
# a tagged paragraph, a more deeply indented line continues the one before. The sections
# every program shares (files, environment) follow.
set -euo pipefail
out=$1 version=$2 program=$3
name=$(basename "$program")

help=$("$program" --help)

# Roff escapes: backslash first, then the minus signs of options, then a leading dot.
esc() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

synopsis=$(printf '%s\n' "$help" | head -n 1 | sed 's/^[Uu]sage: *//')
body=$(printf '%s\n' "$help" | tail -n +2)
summary=$(printf '%s\n' "$body" | sed -n '/[^[:space:]]/{p;q}' | sed 's/^ *//; s/\. .*/./; s/\.$//')

page=$(mktemp)
trap 'rm -f "$page"' EXIT
{
  echo ".TH $(printf '%s' "$name" | tr a-z A-Z) 1 \"\" \"Tessavor $version\" \"Tessavor Manual\""
  echo ".SH NAME"
  printf '%s \\- %s\n' "$name" "$(printf '%s' "${summary,}" | esc)"
  echo ".SH SYNOPSIS"
  printf '.B %s\n' "$(printf '%s' "$synopsis" | esc)"
  echo ".SH DESCRIPTION"
  printf '%s\n' "$body" | esc | awk '
    /^[[:space:]]*$/ { if (!blank) print ".PP"; blank = 1; next }
    { blank = 0 }
    /^[A-Z][A-Za-z ]*:$/ { sub(/:$/, ""); print ".SS " $0; next }
    /^  [^ ]/ && match($0, /[^ ]  +[^ ]/) {
      term = substr($0, 3, RSTART - 2); text = substr($0, RSTART + 1); sub(/^ +/, "", text)
      print ".TP"; print ".B " term; print text; next
    }
    /^      +[^ ]/ { sub(/^ +/, ""); print; next }
    /^  [^ ]/ { sub(/^ +/, ""); print ".IP"; print; next }
    { print }'
  cat <<'ROFF'
.SH FILES
.TP
.I ~/.local/share/tessavor/
The home folder: the record files vert.kvt, vtnm.kvt, fvrt.kvt, face.kvt and radi.kvt
(the mesh being edited), test.asc, the settings file model.ini and the log.
.TP
.I /usr/lib/tessavor/
The program folder of an install: the script template kvt_mesh.txt, the palettes in
pal/, the compiler's include files, libbsp.so, libtvqtimage.so, the demo model in demo/
and seed\-home.sh, which rips the demo into an empty home folder.
The programs look for it as ../lib/tessavor beside their own folder, so an install under
another prefix finds its own; when that folder does not exist (a build folder), the
resources are taken from beside the program.
.SH ENVIRONMENT
.TP
.B TESSAVOR_HOME
The home folder, instead of
.IR $XDG_DATA_HOME/tessavor ,
or
.I ~/.local/share/tessavor
when XDG_DATA_HOME is not set.
.TP
.B TESSAVOR_LOG
A file name that turns the diagnostic log on (taken in the home folder unless it starts
with /).
.SH SEE ALSO
.BR tessavor (1),
.BR tessavor\-cli (1),
.BR iffc (1)
ROFF
} >"$page"

gzip -n -9 -c "$page" >"$out.tmp"
mv -f "$out.tmp" "$out"
