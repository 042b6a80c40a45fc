"""vrk in HDF5 files: to be written."""
