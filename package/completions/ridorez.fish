# fish completion for ridorez
set -l commands ports probe update verify backup
complete -c ridorez -f
complete -c ridorez -n "not __fish_seen_subcommand_from $commands" -a "$commands"
complete -c ridorez -n "__fish_seen_subcommand_from probe update" -a "t62 psoc zq3"
complete -c ridorez -n "__fish_seen_subcommand_from verify backup" -a "t62"
complete -c ridorez -n "__fish_seen_subcommand_from update verify backup" -F
complete -c ridorez -l port -x -a "(ridorez ports 2>/dev/null | string trim | string split -f1 ' '; ridorez ports 2>/dev/null | string replace -rf '.*, serial ([^ ,]+).*' 'serial=\$1')" -d "serial port"
complete -c ridorez -l ports -r -F -d "file of ports"
complete -c ridorez -l log -r -F -d "line log"
complete -c ridorez -l quiet -d "only the final message and errors"
complete -c ridorez -l json -d "one JSON object"
complete -c ridorez -l version -d "the version"
