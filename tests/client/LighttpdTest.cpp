// Filled in by the lighttpd interoperability tests.
