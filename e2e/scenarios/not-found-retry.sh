#!/bin/bash
# No printer at first: the main page says so and offers Retry. The printer is
# plugged in (listed by setupapi, served on its pty) while the page is shown;
# Retry then finds it and transfers the image.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin not-found-retry || return 1
  updater_start
  accept_licence || return 1
  not_found_shown
  check_text "main: button 2 reads Exit" "$reply" 2 "Exit"
  shot main-not-found

  echo "-- the printer is plugged in"
  printer_register p1 || return 1
  printer_start p1 || return 1
  transfer_completes
}

steps
scenario_end
