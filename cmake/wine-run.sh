#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine with the project's Wine
# environment; the windows preset's tests start through it.
source "$(dirname "$0")/../scripts/wine-env.sh"
exec wine "$@"
