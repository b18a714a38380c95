#!/usr/bin/env bash
# man-page.sh OUT.1.gz VERSION PROGRAM SUMMARY: the manual page of PROGRAM made from its own
# --help, so that every command and option it lists appears in the manual without a second
# list to keep. SUMMARY is the NAME line's one-line description.
#
# The help's layout, as the programs print it:
#  - the first line "usage: PROGRAM ..." and every following line that starts with blanks
#    and PROGRAM's name is one form of the SYNOPSIS;
#  - the rest is the DESCRIPTION: a line "Title:" starts a subsection, a blank line a
#    paragraph; "  TERM   TEXT" (two or more blanks between) is a tagged paragraph, as is a
#    line "  TERM" alone followed by its text indented by six or more blanks; a line indented
#    by six or more blanks continues the entry above.
# The FILES and ENVIRONMENT sections follow; FILES names only what an install ships.
set -euo pipefail
out=$1 version=$2 program=$3 summary=$4
name=$(basename "$program")

help=$("$program" --help)

# Roff escapes: backslash first, then the minus signs of options, then a leading dot.
esc() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

# The synopsis lines, without "usage:" and without the program's name.
synopsis=$(printf '%s\n' "$help" | awk -v name="$name" '
  NR == 1 { sub(/^[Uu]sage: */, ""); print; next }
  $0 ~ "^ +" name "( |$)" { sub(/^ +/, ""); print; next }
  { exit }')
forms=$(printf '%s\n' "$synopsis" | wc -l)
body=$(printf '%s\n' "$help" | tail -n +$((forms + 1)))

page=$(mktemp)
trap 'rm -f "$page"' EXIT
{
  echo ".TH $(printf '%s' "$name" | tr a-z A-Z) 1 \"\" \"Tessavor $version\" \"Tessavor Manual\""
  echo ".SH NAME"
  printf '%s \\- %s\n' "$(printf '%s' "$name" | esc)" "$(printf '%s' "$summary" | esc)"
  echo ".SH SYNOPSIS"
  first=1
  while IFS= read -r form; do
    [ "$first" -eq 1 ] || echo ".br"
    first=0
    args=${form#"$name"}
    args=${args# }
    printf '.B %s\n' "$(printf '%s' "$name" | esc)"
    [ -z "$args" ] || printf '%s\n' "$args" | esc
  done <<<"$synopsis"
  echo ".SH DESCRIPTION"
  printf '%s\n' "$body" | esc | awk '
    { line[NR] = $0 }
    END {
      blank = 1
      for (i = 1; i <= NR; i++) {
        l = line[i]
        if (l ~ /^[[:space:]]*$/) { if (!blank) print ".PP"; blank = 1; continue }
        blank = 0
        if (l ~ /^[A-Z][A-Za-z ]*:$/) { sub(/:$/, "", l); print ".SS " l; continue }
        if (l ~ /^  [^ ]/ && match(l, /[^ ]  +[^ ]/)) {
          term = substr(l, 3, RSTART - 2); text = substr(l, RSTART + 1); sub(/^ +/, "", text)
          print ".TP"; print ".B " term; print text; continue
        }
        if (l ~ /^  [^ ]/ && line[i + 1] ~ /^      +[^ ]/) {
          sub(/^ +/, "", l); print ".TP"; print ".B " l; continue
        }
        if (l ~ /^      +[^ ]/) { sub(/^ +/, "", l); print l; continue }
        sub(/^ +/, "", l)
        print l
      }
    }'
  cat <<'ROFF'
.SH FILES
.TP
.I ~/.local/share/tessavor/
The home folder: the record files vert.kvt, vtnm.kvt, fvrt.kvt, face.kvt and radi.kvt
(the mesh being edited), the ASC input test.asc, the settings file model.ini, and the
diagnostic log when TESSAVOR_LOG names one there.
.TP
.I /usr/lib/tessavor/
The program folder of the package: the script template kvt_mesh.txt, the MAT palettes
pal/stone.pal and pal/grey.pal, the tree builder libbsp.so, the picture library
libtvqtimage.so, the model reader tessavor\-model\-reader, the demo model and its textures
in demo/, and seed\-home.sh, which rips the demo into an empty home folder
.RB ( "sh /usr/lib/tessavor/seed\-home.sh" ).
The programs look for it as ../lib/tessavor beside their own folder, so an install under
another prefix finds its own; the compiler also takes its include files from there.
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
