import sys

# A `match` statement is a SyntaxError before 3.10: that module must not even
# be imported there.
collect_ignore = ["test_patterns.py"] if sys.version_info < (3, 10) else []
