// The station screens' shared pieces.
