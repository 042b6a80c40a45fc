"""python3 -m vrk: see vrk.stack."""

import sys

from vrk.stack import main

if __name__ == "__main__":
    sys.exit(main())
