"""python3 -m vrk: to be written."""
