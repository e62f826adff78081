# The environment of every Wine run of this project, in one place: no debug
# output, no dialog asking for Wine's Mono and Gecko (the programs need neither),
# and UTF-8 text for the tools that read what the programs print. Sourced by the
# scripts, the end-to-end tests and the test runner of the windows preset
# (cmake/wine-run.sh); a script that needs more DLL overrides appends to
# WINEDLLOVERRIDES.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
unset WINEARCH
