#!/bin/sh
# The package as pip installs it: into a fresh virtual environment (offline,
# on the system's setuptools and numpy), imported from elsewhere, and as a
# wheel that holds the core, its stub and its typed marker.
# Usage: python_package_test.sh SOURCE_FOLDER BUILD_FOLDER PYTHON
set -u
source=$1
build=$2
python=$3
. "$(dirname "$0")/check.sh"
# A copy of what pip reads, so that its build leaves the source tree as it was.
mkdir src && cp "$source/pyproject.toml" "$source/setup.py" "$source/README.md" src/ && cp -r "$source/python" src/
pip_quiet="--no-build-isolation --no-deps --no-index --disable-pip-version-check -q"
"$python" -m venv --system-site-packages env
check "the environment is made" test -x env/bin/pip
# The core is built in this build's folder (already built, so it takes seconds).
VELMORA_BUILD_DIR="$build" env/bin/pip install $pip_quiet ./src
check "pip install succeeds" test $? -eq 0
check "the installed package runs a world" sh -c "cd / && '$work/env/bin/python' -c '
import velmora, os
assert velmora.__file__.startswith(\"$work/env/\"), velmora.__file__
world = velmora.World(seed=3, generation_length=50)
world.run(2)
assert world.generation == 2 and repr(world).startswith(\"<velmora.World seed=3, generation 2\")
'"
check "it is typed" sh -c "env/bin/python -c 'import velmora, os; d = os.path.dirname(velmora.__file__); assert os.path.exists(os.path.join(d, \"py.typed\")) and os.path.exists(os.path.join(d, \"_velmora.pyi\"))'"
VELMORA_BUILD_DIR="$build" env/bin/pip wheel $pip_quiet -w wheels ./src
check "pip wheel succeeds" test $? -eq 0
check "the wheel holds the core, its stub and its marker" env/bin/python -c '
import glob, zipfile
names = zipfile.ZipFile(glob.glob("wheels/velmora-*.whl")[0]).namelist()
for wanted in ("velmora/__init__.py", "velmora/_velmora.pyi", "velmora/py.typed"):
    assert wanted in names, (wanted, names)
assert any(name.startswith("velmora/_velmora.") and name.endswith(".so") for name in names), names
'
check "the source tree is left as it was" test ! -e "$source/python/velmora.egg-info"
summary
