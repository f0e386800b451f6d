#!/usr/bin/env bash
# Checks that dependencies run one way: the front ends (app/, cli/, web/) over
# bench/ (many boards at once, each in a worker process, which the command
# line's bench and station use), over the target table and the flows they
# share (uploader/), over the targets (t62/, psoc/, zq3/), over serial/, image/
# and release/, over core/. The front ends and bench/ take a target's row and
# include no target's header. A file may
# include from its own folder and from lower layers only; the targets do not
# include one another; Windows headers appear in the core only in its
# *_win32 platform files; no two modules of the product include each other
# (tests/include_circles.py). Prints every breach and fails if there is one.
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

layer() {
  case $1 in
    core) echo 0 ;;
    serial | image | release) echo 1 ;;
    t62 | psoc | zq3) echo 2 ;;
    uploader) echo 3 ;;
    bench) echo 4 ;;
    app | cli | web) echo 5 ;;
    *) echo "" ;;
  esac
}

core_dirs=(core serial image release t62 psoc zq3 uploader)
breaches=0
for dir in "${core_dirs[@]}" bench app cli web; do
  [ -d "$dir" ] || continue
  mine=$(layer "$dir")
  for file in "$dir"/*.cpp "$dir"/*.h; do
    [ -e "$file" ] || continue
    while IFS= read -r used; do
      [ "$used" = "$dir" ] && continue
      if [ "$used" = res ]; then  # the Windows program's resources
        # The Windows program's windows, and the page's, which names its
        # controls by the same ids, and the flows of those windows.
        [ "$dir" = app ] || [ "$dir" = web ] || [ "$dir" = uploader ] && continue
        echo "$file includes res/: only the windows (app/, web/, uploader/) use the resources"
        breaches=$((breaches + 1))
        continue
      fi
      theirs=$(layer "$used")
      [ -n "$theirs" ] || continue
      if [ "$mine" -ge 4 ] && [ "$theirs" -eq 2 ]; then
        echo "$file includes $used/: a front end or the bench takes the target's row (uploader/target_table.h)"
        breaches=$((breaches + 1))
        continue
      fi
      if [ "$theirs" -ge "$mine" ]; then
        echo "$file includes $used/: against the direction of the dependencies"
        breaches=$((breaches + 1))
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z0-9_]*\)\/.*/\1/p' "$file" | sort -u)
  done
done

for dir in "${core_dirs[@]}"; do
  for file in "$dir"/*.cpp "$dir"/*.h; do
    [ -e "$file" ] || continue
    stem=$(basename "$file"); stem=${stem%.*}
    case $stem in *_win32) continue ;; esac
    if grep -n -i -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|winbase|commctrl|commdlg|winuser)\.h>' "$file"; then
      echo "$file: a Windows header outside a *_win32 platform file"
      breaches=$((breaches + 1))
    fi
  done
done

if ! python3 "$(dirname "$0")/include_circles.py" "$root"; then
  breaches=$((breaches + 1))
fi

if [ "$breaches" -gt 0 ]; then
  echo "layering: $breaches breach(es)"
  exit 1
fi
echo "layering: dependencies run one way"
