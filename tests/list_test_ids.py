"""Prints the ids of the tests in unittest modules, one a line, so that CTest
registers each on its own: "module.Class.test_name", or "module.Class" with
--classes (for classes that share an expensive set-up).

    python3 list_test_ids.py [--classes] FOLDER MODULE...
"""

import argparse
import sys
import unittest


def test_ids(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from test_ids(item)
        else:
            yield item.id()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--classes", action="store_true")
    parser.add_argument("folder")
    parser.add_argument("modules", nargs="+")
    args = parser.parse_args()
    sys.path.insert(0, args.folder)
    seen = []
    for module in args.modules:
        for test_id in test_ids(unittest.defaultTestLoader.loadTestsFromName(module)):
            if not test_id.startswith(module + "."):
                sys.exit(f"list_test_ids.py: {module} does not load: {test_id}")
            if args.classes:
                test_id = test_id.rpartition(".")[0]
            if test_id not in seen:
                seen.append(test_id)
    print("\n".join(seen))


if __name__ == "__main__":
    main()
