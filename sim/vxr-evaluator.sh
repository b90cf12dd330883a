#!/bin/sh
# Stand-in for the worker installation's evaluator script: a demo and test peer
# of VXR Worker, not the real evaluator. See README.md beside the sources.
dir=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
exec "$dir/vxr-worker/bin/vxr-evaluator-start" "$@"
