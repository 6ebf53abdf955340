"""The macOS checks behind scripts/macos-checks.py: the Mach-O reader, the checks, the self-test."""
