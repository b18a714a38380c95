# bash completion for tessavor-cli. The commands, their sub-commands and their --options
# are read from the program's own --help, so a new command completes without a change here.
_tessavor_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} help
  help=$("${COMP_WORDS[0]}" --help 2>/dev/null) || return 0
  if [ "$COMP_CWORD" -eq 1 ]; then
    local commands
    commands=$(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z0-9-]*\).*/\1/p' <<<"$help")
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return 0
  fi
  local command=${COMP_WORDS[1]} line
  line=$(grep -m 1 "^  $command\\( \\|\$\\)" <<<"$help")
  if [ "$COMP_CWORD" -eq 2 ] && [[ $line =~ ^\ \ $command\ ([a-z][a-z0-9-]*)\  ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${BASH_REMATCH[1]}" -- "$cur")
  elif [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(grep -o -- '--[a-z][a-z-]*' <<<"$line" | sort -u)" -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
  return 0
}
complete -o filenames -F _tessavor_cli tessavor-cli
