"""examples/python/orders.py runs and prints what it should."""
import os
import pathlib
import subprocess
import sys
import unittest

import deducer

SOURCE = pathlib.Path(os.environ.get("KB_SOURCE_DIR", pathlib.Path(__file__).parents[2]))

EXPECTED = f"""\
t| carol approved
t| bob review
fired 4 of at most 4
t| acme approved
fired 2 more
t| bob approved
f-7 order {{'customer': 'acme', 'cents': 9000000, 'state': Symbol('approved')}}
f-8 order {{'customer': 'bob', 'cents': 7500000, 'state': Symbol('approved')}}
approve: review
Too few arguments for approve
error on line 2
library {deducer.__version__}
"""


class ExampleTest(unittest.TestCase):
    def test_order_approval_example(self):
        result = subprocess.run([sys.executable, str(SOURCE / "examples/python/orders.py")],
                                capture_output=True, text=True, env=os.environ)
        self.assertEqual(result.stderr, "")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, EXPECTED)


if __name__ == "__main__":
    unittest.main()
