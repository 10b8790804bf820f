#!/usr/bin/env bash
# Fails unless the plugin's defined dynamic symbols are exactly the six entry points.
set -euo pipefail
plugin=$1
actual=$(nm -D --defined-only "$plugin" | awk '{print $3}' | sort)
expected=$(printf '%s\n' BeginDeviceInstantiation Initialise OnManualDeviceInstantiation PluginAPIVersion \
  ProvideDeviceDefinitions Shutdown | sort)
if [ "$actual" != "$expected" ]; then
  echo "Defined dynamic symbols of $plugin:"
  echo "$actual"
  echo "expected exactly:"
  echo "$expected"
  exit 1
fi
echo "exports: $(echo $actual)"
