// Test support library: the helpers live in the files beside this one.
