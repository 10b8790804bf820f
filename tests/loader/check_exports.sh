#!/usr/bin/env bash
# Fails unless the plugin's defined dynamic symbols are exactly the six entry
# points and it loads the USB library by its plain name.
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

# The USB library is linked by its own name, so another build with the same
# exports can take the simulated one's place at run time.
if ! readelf -d "$plugin" | grep -q 'NEEDED.*\[libZORVAUSBDevice\.so\]'; then
  echo "$plugin does not load libZORVAUSBDevice.so by name:"
  readelf -d "$plugin" | grep NEEDED
  exit 1
fi
echo "needs: $(readelf -d "$plugin" | grep NEEDED | sed 's/.*\[\(.*\)\]/\1/' | tr '\n' ' ')"
