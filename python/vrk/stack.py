"""Folders of frames into stacks: to be written."""
