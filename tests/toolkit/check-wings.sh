#!/bin/sh
# Every include between the toolkit's wings goes down the order below, never up or sideways into a
# wing above: prints each one that does not and fails when there is any.
# usage: check-wings.sh SOURCE_DIR
order="skin render core controls access window"
cd "$1/src/toolkit" || exit 2
rank() { i=0; for w in $order; do [ "$w" = "$1" ] && { echo $i; return; }; i=$((i + 1)); done; echo 99; }
bad=0
for wing in $order; do
  own=$(rank "$wing")
  for used in $(grep -ho '#include "toolkit/[a-z]*/' "$wing"/* | sed 's#.*toolkit/##; s#/$##' | sort -u); do
    if [ "$(rank "$used")" -gt "$own" ]; then
      grep -Hn "#include \"toolkit/$used/" "$wing"/*
      bad=1
    fi
  done
done
[ -z "$(ls -d */ | tr -d / | grep -vxF -e skin -e render -e core -e controls -e access -e window)" ] || {
  echo "a folder outside the wing order: $(ls -d */)"; bad=1; }
[ $bad -eq 0 ] && echo "wings: every include goes down $order"
exit $bad
